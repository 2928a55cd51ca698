#include "io/interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <new>
#include <system_error>

namespace kvz::io {

void failWritesInsteadOfSignals() {
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

struct InterruptionWatcher::Signals {
    sigset_t watched{};
    sigset_t previousMask{};
};

InterruptionWatcher::InterruptionWatcher() = default;

Status InterruptionWatcher::start() {
    if (watcher_.joinable()) return success();
    try {
        signals_ = std::make_unique<Signals>();
    } catch (const std::bad_alloc&) {
        return fail(std::make_error_code(std::errc::not_enough_memory).message());
    }
    sigemptyset(&signals_->watched);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_->watched, signal);
    pthread_sigmask(SIG_BLOCK, &signals_->watched, &signals_->previousMask);
    try {
        watcher_ = std::thread([this] { watch(); });
    } catch (const std::system_error& error) {
        pthread_sigmask(SIG_SETMASK, &signals_->previousMask, nullptr);
        signals_.reset();
        return fail(error.code().message());
    }
    return success();
}

InterruptionWatcher::~InterruptionWatcher() {
    if (!watcher_.joinable()) return;
    // SIGHUP wakes the watcher, which then sees that the run is over.
    stopping_ = true;
    pthread_kill(watcher_.native_handle(), SIGHUP);
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &signals_->previousMask, nullptr);
}

void InterruptionWatcher::watch() {
    int signal = 0;
    while (sigwait(&signals_->watched, &signal) != 0) {
    }
    if (stopping_) return;
    temporaries_.removeAll();  // waits for a publishing step under way
    ::_exit(128 + signal);
}

}  // namespace kvz::io
