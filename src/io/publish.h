// Replacing the outputs of one file as one set: after publishTogether the
// final names hold either all their older files or all the new ones.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "io/io.h"
#include "io/temporary.h"

namespace kvz::io {

// The system's hard link (a new name `to` for the file `from`) and rename
// (replacing a file at `to`), each returning 0, or -1 with the system's
// error set (errno; GetLastError on Windows).
int linkName(const char* from, const char* to);
int renameName(const char* from, const char* to);

// The system calls publishing makes to change names, as linkName and
// renameName. Tests replace them to make any one of them fail.
struct NameOperations {
    std::function<int(const char* from, const char* to)> link = linkName;
    std::function<int(const char* from, const char* to)> rename = renameName;
};

// Renames every written file onto its path, all under `temporaries`'s lock.
// A path that is a folder fails before anything is renamed. First each
// existing path is kept reachable as a hard link under a temporary name
// (moved aside where the file system has no hard links), registered in
// `temporaries` while it exists. When a step fails, every path already
// replaced gets its older file back (or is removed when it had none), the
// backups go, and the failure reads "cannot write PATH: REASON"; the files
// not renamed stay staged (their destructors remove them). On success the
// backups are removed, every file is published, and `whenPublished` runs,
// still under `temporaries`'s lock: an interruption then finds the files
// published and whatever `whenPublished` does (a log line) done, or neither.
//
// Other processes publishing into the same folders wait: each folder is
// locked while its files are renamed (flock on the folder; on Windows a
// named mutex of the folder's volume and file index), so that a set of
// outputs is always the one of a single process. A folder that cannot be
// locked (not readable, or on a file system without locks) is published
// into without its lock. The lock is taken before `temporaries`'s, so that a signal
// never waits for another process.
//
// A set whose files lie in one folder is written down first in that
// folder's journal (io/journal.h), flushed to the disk before the first
// link, marked once the last rename is done and removed at the end, also
// after an undo that put every older file back; one that cannot be written
// fails the set before any name changes. A journal found there under the
// lock, left by a killed run, is repaired first, and its account added to
// `repairs` ("FOLDER/.kvzpack-journal: ..."); one that cannot be repaired
// fails the set.
Status publishTogether(std::span<StagedFile> files, TemporaryFiles& temporaries,
                       const std::function<void()>& whenPublished = {}, const NameOperations& operations = {},
                       std::vector<std::string>* repairs = nullptr);

}  // namespace kvz::io
