// Temporary files of a run: names that always fit beside their final file,
// and the registry from which an interrupted run removes them.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/result.h"

namespace kvz::io {

// The mkstemp pattern of a temporary file beside `path`: "PATH.partXXXXXX".
// When that name would be longer than the folder allows for one name
// (usually 255 bytes; 255 UTF-16 code units on Windows), the final name's
// part is shortened from its end (by whole characters on Windows), so that
// any final name that is legal has a legal temporary name.
std::string temporaryPattern(const std::string& path);

// Replaces the last six characters of `pattern` (at least six long) by
// random letters and digits.
void fillRandomName(std::string& pattern);

// A name made from temporaryPattern(path) that no file holds at the moment
// of the call (for a hard link, which mkstemp cannot make).
std::string unusedTemporaryName(const std::string& path);

// The temporary files a run holds at a time. A signal watcher (another
// thread) removes them all when the run is interrupted; every change of the
// set, and every step that must not be interrupted halfway (publishing a
// file's outputs), runs under the registry's lock, so that the watcher sees
// either none or all of such a step.
class TemporaryFiles {
public:
    void add(const std::string& name);
    void forget(const std::string& name);
    // Removes every registered name and forgets them; for the interruption
    // watcher.
    void removeAll();
    // Runs `step` with the lock held: no removeAll in between.
    template <class Step>
    auto exclusively(Step&& step) {
        const std::lock_guard hold(mutex_);
        return std::forward<Step>(step)();
    }

private:
    std::recursive_mutex mutex_;  // publishing adds and forgets names while it holds the lock
    std::vector<std::string> names_;
};

}  // namespace kvz::io
