// Temporary files of a run: names that always fit beside their final file,
// and the registry from which an interrupted run removes them.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
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
//
// The temporary files of outputs being written (addStaged) are also listed,
// folder by folder, in a record beside them, ".kvzpack-staging-XXXXXX",
// that the run holds locked (a lock the system drops when the process ends,
// however it ends) and removes with the last of them: a run killed before
// its journal was written leaves the record, by which the next run finds
// and removes them (removeAbandonedTemporaries).
class TemporaryFiles {
public:
    TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;
    ~TemporaryFiles();

    void add(const std::string& name);
    // add, and the name written to its folder's record (made on the first).
    void addStaged(const std::string& name);
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
    struct Record;  // a folder's record, open and locked
    Record* openRecordOf(const std::string& folder);
    Record* recordOf(const std::string& folder);
    void release(Record& record);

    std::recursive_mutex mutex_;  // publishing adds and forgets names while it holds the lock
    std::vector<std::string> names_;
    std::vector<std::string> staged_;
    std::vector<std::unique_ptr<Record>> records_;
};

// The prefix of the records' names.
inline constexpr std::string_view kStagingRecordPrefix = ".kvzpack-staging-";

// Removes, in `folder` ("" for the current one), the temporary files that
// the record of a run no longer alive lists, and the record; the records
// of live runs stay. One line per record that still listed files, "RECORD:
// a run was killed while it wrote its outputs: N temporary files removed".
// Run after the folder's journal is repaired: the journal's files are its.
std::vector<std::string> removeAbandonedTemporaries(const std::string& folder);

}  // namespace kvz::io
