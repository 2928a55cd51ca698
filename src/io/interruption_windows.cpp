// Interruptions on Windows: a console control handler, which the system
// runs on a thread of its own for Ctrl-C, Ctrl-Break, the console's closing,
// logging off and shutting down.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>

#include "io/interruption.h"
#include "io/system_internal.h"

namespace kvz::io {

void failWritesInsteadOfSignals() {}

struct InterruptionWatcher::Watch {};

namespace {

// The registry that the handler empties. The system calls the handler
// without an argument, so the watcher that watches is found here, under a
// lock that the watcher's end takes too: a handler under way has the
// registry until it ends the process.
struct Watched {
    std::mutex lock;
    TemporaryFiles* temporaries = nullptr;
};

Watched& watched() {
    static Watched current;
    return current;
}

// The status of the POSIX signal that means the same, as 128 + its number.
UINT statusOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT: return 128 + 2;       // SIGINT
        case CTRL_BREAK_EVENT: return 128 + 3;   // SIGQUIT
        case CTRL_CLOSE_EVENT: return 128 + 1;   // SIGHUP
        default: return 128 + 15;                // SIGTERM: logging off, shutting down
    }
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    Watched& current = watched();
    const std::lock_guard hold(current.lock);
    if (!current.temporaries) return FALSE;
    // Under the registry's lock until the end: it waits for a publishing step
    // under way, and no temporary file is made between the removal and the
    // process's end.
    TemporaryFiles& temporaries = *current.temporaries;
    temporaries.exclusively([&] {
        temporaries.removeAll();
        ::TerminateProcess(::GetCurrentProcess(), statusOf(event));
    });
    return TRUE;
}

}  // namespace

Status InterruptionWatcher::startWatching() {
    Result<std::unique_ptr<Watch>> watch = os::allocate<Watch>();
    KVZ_TRY(watch);
    watch_ = std::move(*watch);
    {
        const std::lock_guard hold(watched().lock);
        watched().temporaries = &temporaries_;
    }
    if (!::SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        const DWORD error = ::GetLastError();
        const std::lock_guard hold(watched().lock);
        watched().temporaries = nullptr;
        watch_.reset();
        return fail(os::describeError(static_cast<int>(error)));
    }
    return success();
}

InterruptionWatcher::InterruptionWatcher() = default;

InterruptionWatcher::~InterruptionWatcher() {
    if (!watch_) return;
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    const std::lock_guard hold(watched().lock);
    watched().temporaries = nullptr;
}

}  // namespace kvz::io
