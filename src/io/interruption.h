// The signals of a run. SIGINT, SIGTERM and SIGHUP remove every temporary
// file of the run and end the process with status 128 + the signal's
// number, as shells expect. Older outputs stay as they are: publishing a
// file's outputs runs under the registry's lock, which the removal waits for.
// SIGPIPE and SIGXFSZ end nothing: the write that meets a closed pipe or the
// file-size limit fails with its reason instead.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "common/result.h"
#include "io/temporary.h"

namespace kvz::io {

// Makes a write to a pipe without a reader fail with EPIPE ("Broken pipe"),
// and a write past the file-size limit (ulimit -f) with EFBIG ("File too
// large"), instead of ending the process, so that the program can tell the
// failure and go on with its next file. For the whole process; call it
// first.
void failWritesInsteadOfSignals();

// Owns the run's registry of temporary files and, once started, a thread
// that waits for the three signals with sigwait. No signal handler runs at
// all: the signals are blocked in every thread and taken by the watching
// thread alone, which may then lock, unlink and exit like any other code.
class InterruptionWatcher {
public:
    // Watches nothing yet: a program that writes no file (its help, its
    // version) needs no thread.
    InterruptionWatcher();
    // Stops the watching thread, if started, and restores the signal mask.
    ~InterruptionWatcher();
    InterruptionWatcher(const InterruptionWatcher&) = delete;
    InterruptionWatcher& operator=(const InterruptionWatcher&) = delete;

    // Blocks the signals in the calling thread, and so in every thread it
    // starts later, and starts the watching thread; call it before any other
    // thread starts and before the first temporary file is made. Later
    // calls do nothing. Fails with the system's reason when the thread
    // cannot start (too little memory for its stack); the signals are then
    // unblocked again and keep their usual effect.
    Status start();

    TemporaryFiles& temporaries() { return temporaries_; }

private:
    struct Signals;  // the system's sets of signals: those watched, the mask before
    void watch();

    TemporaryFiles temporaries_;
    std::unique_ptr<Signals> signals_;  // while watching
    std::atomic<bool> stopping_{false};
    std::thread watcher_;
};

}  // namespace kvz::io
