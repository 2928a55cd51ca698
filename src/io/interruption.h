// The interruptions of a run. On POSIX, SIGINT, SIGTERM and SIGHUP remove
// every temporary file of the run and end the process with status 128 + the
// signal's number, as shells expect. On Windows, the console's events do the
// same with the status of the POSIX signal that means the same: Ctrl-C 130
// (SIGINT), Ctrl-Break 131 (SIGQUIT, the break key of a terminal), closing
// the console 129 (SIGHUP) and logging off or shutting down 143 (SIGTERM).
// Older outputs stay as they are: publishing a file's outputs runs under the
// registry's lock, which the removal waits for. SIGPIPE and SIGXFSZ end
// nothing: the write that meets a closed pipe or the file-size limit fails
// with its reason instead.
#pragma once

#include <memory>

#include "common/result.h"
#include "io/temporary.h"

namespace kvz::io {

// Makes a write to a pipe without a reader fail with EPIPE ("Broken pipe"),
// and a write past the file-size limit (ulimit -f) with EFBIG ("File too
// large"), instead of ending the process, so that the program can tell the
// failure and go on with its next file. For the whole process; call it
// first. Windows ends no process for either: there it does nothing.
void failWritesInsteadOfSignals();

// Owns the run's registry of temporary files and, once started, what
// watches for interruptions. On POSIX that is a thread that waits for the
// three signals with sigwait. No signal handler runs at all: the signals
// are blocked in every thread and taken by the watching thread alone, which
// may then lock, remove and exit like any other code. On Windows it is a
// console control handler, which the system runs on a thread of its own.
class InterruptionWatcher {
public:
    // Watches nothing yet: a program that writes no file (its help, its
    // version) needs no thread.
    InterruptionWatcher();
    // Stops watching, if started, and restores what start() changed.
    ~InterruptionWatcher();
    InterruptionWatcher(const InterruptionWatcher&) = delete;
    InterruptionWatcher& operator=(const InterruptionWatcher&) = delete;

    // On POSIX, blocks the signals in the calling thread, and so in every
    // thread it starts later, and starts the watching thread; call it before
    // any other thread starts and before the first temporary file is made.
    // Later calls do nothing. Fails with the system's reason when the thread
    // cannot start (too little memory for its stack); the signals are then
    // unblocked again and keep their usual effect. On Windows, installs the
    // console handler (one watcher at a time in a process).
    Status start() { return watch_ ? success() : startWatching(); }

    TemporaryFiles& temporaries() { return temporaries_; }

private:
    struct Watch;  // the system's means of watching, and what it restores
    Status startWatching();  // start() of each system, while not watching

    TemporaryFiles temporaries_;
    std::unique_ptr<Watch> watch_;  // while watching
};

}  // namespace kvz::io
