// Interruptions on POSIX systems: a thread that takes the signals with sigwait.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <system_error>
#include <thread>

#include "io/interruption.h"
#include "io/system_internal.h"

namespace kvz::io {

void failWritesInsteadOfSignals() {
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

struct InterruptionWatcher::Watch {
    sigset_t watched{};
    sigset_t previousMask{};
    std::atomic<bool> stopping{false};
    std::thread thread;
};

namespace {

void watchSignals(const sigset_t& watched, const std::atomic<bool>& stopping, TemporaryFiles& temporaries) {
    int signal = 0;
    while (sigwait(&watched, &signal) != 0) {
    }
    if (stopping) return;
    // Under the registry's lock until the end: it waits for a publishing step
    // under way, and no temporary file is made between the removal and the
    // process's end.
    temporaries.exclusively([&] {
        temporaries.removeAll();
        ::_exit(128 + signal);
    });
}

}  // namespace

Status InterruptionWatcher::startWatching() {
    Result<std::unique_ptr<Watch>> watch = os::allocate<Watch>();
    KVZ_TRY(watch);
    watch_ = std::move(*watch);
    sigemptyset(&watch_->watched);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&watch_->watched, signal);
    pthread_sigmask(SIG_BLOCK, &watch_->watched, &watch_->previousMask);
    try {
        watch_->thread = std::thread(watchSignals, std::cref(watch_->watched), std::cref(watch_->stopping),
                                     std::ref(temporaries_));
    } catch (const std::system_error& error) {
        pthread_sigmask(SIG_SETMASK, &watch_->previousMask, nullptr);
        watch_.reset();
        return fail(error.code().message());
    }
    return success();
}

InterruptionWatcher::InterruptionWatcher() = default;

InterruptionWatcher::~InterruptionWatcher() {
    if (!watch_) return;
    // SIGHUP wakes the watcher, which then sees that the run is over.
    watch_->stopping = true;
    pthread_kill(watch_->thread.native_handle(), SIGHUP);
    watch_->thread.join();
    pthread_sigmask(SIG_SETMASK, &watch_->previousMask, nullptr);
}

}  // namespace kvz::io
