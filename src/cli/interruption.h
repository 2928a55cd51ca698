// Interrupted runs: SIGINT, SIGTERM and SIGHUP remove every temporary file
// of the run and end the process with status 128 + the signal's number, as
// shells expect. Older outputs stay as they are: publishing a file's outputs
// runs under the registry's lock, which the removal waits for.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "io/temporary.h"

namespace kvz {

// Owns the run's registry of temporary files and a thread that waits for the
// three signals with sigwait. No signal handler runs at all: the signals are
// blocked in every thread and taken by the watching thread alone, which may
// then lock, unlink and exit like any other code.
class InterruptionWatcher {
public:
    // Blocks the signals in the calling thread, and so in every thread it
    // starts later; create it before any other thread.
    InterruptionWatcher();
    // Stops the watching thread and restores the signal mask.
    ~InterruptionWatcher();
    InterruptionWatcher(const InterruptionWatcher&) = delete;
    InterruptionWatcher& operator=(const InterruptionWatcher&) = delete;

    io::TemporaryFiles& temporaries() { return temporaries_; }

private:
    void watch();

    io::TemporaryFiles temporaries_;
    sigset_t signals_{};
    sigset_t previousMask_{};
    std::atomic<bool> stopping_{false};
    std::thread watcher_;
};

}  // namespace kvz
