#include "io/interruption.h"

#include <unistd.h>

#include <system_error>

namespace kvz::io {

void failWritesInsteadOfSignals() {
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

Status InterruptionWatcher::start() {
    if (watcher_.joinable()) return success();
    sigemptyset(&signals_);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, signal);
    pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    try {
        watcher_ = std::thread([this] { watch(); });
    } catch (const std::system_error& error) {
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
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
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptionWatcher::watch() {
    int signal = 0;
    while (sigwait(&signals_, &signal) != 0) {
    }
    if (stopping_) return;
    temporaries_.removeAll();  // waits for a publishing step under way
    ::_exit(128 + signal);
}

}  // namespace kvz::io
