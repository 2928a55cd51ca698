// Replacing the outputs of one file as one set: after publishTogether the
// final names hold either all their older files or all the new ones.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "common/result.h"
#include "io/io.h"
#include "io/temporary.h"

namespace kvz::io {

// The system calls publishing makes to change names, each returning 0 or -1
// with errno set. Tests replace them to make any one of them fail.
struct NameOperations {
    std::function<int(const char* from, const char* to)> link = ::link;
    std::function<int(const char* from, const char* to)> rename = ::rename;
};

// Renames every written file onto its path, all under `temporaries`'s lock.
// First each existing path is kept reachable as a hard link under a
// temporary name (moved aside where the file system has no hard links),
// registered in `temporaries` while it exists. When a step fails, every path
// already replaced gets its older file back (or is removed when it had
// none), the backups go, and the failure reads "cannot write PATH: REASON";
// the files not renamed stay staged (their destructors remove them). On
// success the backups are removed and every file is published.
Status publishTogether(std::span<StagedFile> files, TemporaryFiles& temporaries,
                       const NameOperations& operations = {});

}  // namespace kvz::io
