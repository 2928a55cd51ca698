// The system's side of io, for io's own sources only: what io.cpp,
// temporary.cpp and publish.cpp need from the system, each written once for
// POSIX (io_posix.cpp) and once for Windows (io_windows.cpp). Paths are UTF-8
// on both; the Windows side converts each to UTF-16 for the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/result.h"
#include "io/io.h"

namespace kvz::io::os {

// The error of the last system call that failed in this thread (errno, or
// GetLastError on Windows), and its text as the system words it.
int lastError();
std::string describeError(int error);
inline Failure lastFailure(FailureKind kind = FailureKind::invalid) { return fail(describeError(lastError()), kind); }

// A new T, or the reason memory ran out for it ("Cannot allocate memory").
template <class T>
Result<std::unique_ptr<T>> allocate() {
    try {
        return std::make_unique<T>();
    } catch (const std::bad_alloc&) {
        return fail(std::make_error_code(std::errc::not_enough_memory).message());
    }
}

// True for the error of a name already taken (EEXIST), and for the errors
// that say a file system or file takes no (more) hard links.
bool isNameTaken(int error);
bool takesNoHardLink(int error);

// Closes a descriptor; false with lastError set when the close failed.
bool closeDescriptor(int fd);

// Reads at most `count` bytes into `into`, retrying after interruptions: the
// number read, 0 at the end of the file, or nothing with lastError set.
std::optional<std::size_t> readSome(const FileDescriptor& file, void* into, std::size_t count);

// The size of a regular file; nothing for a pipe, a device or a folder.
// Fails with the system's reason when the file cannot be looked at.
Result<std::optional<std::uintmax_t>> regularFileSize(const FileDescriptor& file);

// Flushes a regular file's data to its device (devices and pipes have
// nothing to flush).
Status flushToDevice(const FileDescriptor& file);

// Opens `path` for writing with the usual permissions of a new file: created
// when missing, and emptied or (with `append`) written at its end.
Result<FileDescriptor> openForWriting(const std::string& path, bool append);

// Creates a new file from `pattern`, whose last six characters are replaced
// by random letters and digits until the name is one no file holds;
// `pattern` then holds the name made.
FileDescriptor createUniqueFile(std::string& pattern);

// Gives a file made by createUniqueFile the usual permissions of a new file.
Status useUsualPermissions(const FileDescriptor& file);

// Renames `from` onto `to`, replacing a file there, as one step.
Status replaceName(const std::string& from, const std::string& to);

// Whether the file at `path`, if any, may be replaced: on Windows a file
// marked read-only may not ("Access is denied"), as the system's own
// commands keep it; on POSIX the folder's permissions decide, at the rename.
Status checkReplaceable(const std::string& path);

// True when `path` names anything, a dangling symbolic link included.
bool pathExists(const std::string& path);

// The longest name the folder allows, in the system's units for names
// (bytes on POSIX, UTF-16 code units on Windows).
std::size_t longestNameIn(const std::string& folder);

// The longest start of `name` that is at most `room` of those units, made
// of whole characters where the system's names must be valid text.
std::string leadingName(std::string_view name, std::size_t room);

// Makes the names last changed in `folder` last on the disk (fsync of the
// folder on POSIX; Windows writes renames through). Where a folder cannot be
// flushed, nothing happens.
void flushFolder(const std::string& folder);

// Takes an exclusive lock of an open file that the system drops when the
// process ends, however it ends (flock; LockFileEx on Windows); with `wait`
// false it gives up at once where another process holds it. True when held.
bool lockFile(const FileDescriptor& file, bool wait);
// Whether the open file still has a name (a file removed while open has none).
bool stillNamed(const FileDescriptor& file);
// The names in `folder` ("" for the current one) that start with `prefix`;
// none when the folder cannot be read.
std::vector<std::string> namesStartingWith(const std::string& folder, std::string_view prefix);

// Exclusive locks, held across processes, of the folders that hold the
// files named by `paths`, each folder locked once however it is named, in
// an order that every process shares. A folder that cannot be locked is
// left unlocked.
class FolderLocks {
public:
    explicit FolderLocks(std::span<const std::string> paths);
    ~FolderLocks();
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;
    // Unlocks every folder now.
    void release();

private:
    struct Held;  // the system's lock objects
    std::unique_ptr<Held> held_;
};

}  // namespace kvz::io::os
