// Every file access of kvzpack and its tools: reading whole files (pipes and
// FIFOs included), bounded reads, checked writes, staged outputs that appear
// complete or not at all, and the same-file test. The format modules work on
// bytes only; front ends read and write through these functions.
//
// A failure's reason is the system's own cause ("No such file or directory"),
// with nothing added; the caller names the file. Reading fails with
// FailureKind::cannotOpen when a file cannot be opened or read, and with
// FailureKind::invalid and the reason "is a directory" for a folder.
//
// Paths are UTF-8 text on every system. On Windows each one is handed to the
// system as UTF-16 (a long one with the "\\?\" prefix, so that no length
// limit of the old API applies), and both '/' and '\' separate folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "io/temporary.h"

namespace kvz::io {

// The bytes of a text, for the functions below.
inline std::span<const std::uint8_t> asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Owns an open file descriptor and closes it when destroyed. -1 holds none.
// On Windows it is a C runtime descriptor, which owns the file's handle.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Closes the descriptor now, reporting a failed close (some file systems
    // report a failed write only here). Holds none afterwards.
    Status close();

private:
    int fd_ = -1;
};

// Opens `path` for reading. Opening a FIFO that has no writer yet does not
// wait, and reads from it then wait for data (no writer at all reads as an
// empty file). A folder is refused.
Result<FileDescriptor> openForReading(const std::string& path);

// Appends up to `count` more bytes of `file` to `bytes`, reading on after
// short reads and interruptions until they are all there or the file ends.
// Memory grows with the bytes actually read, never with `count`.
Status readUpTo(const FileDescriptor& file, std::vector<std::uint8_t>& bytes, std::size_t count);

// The whole contents of `path`, read until its end (openForReading's rules).
Result<std::vector<std::uint8_t>> readFile(const std::string& path);
Result<std::string> readTextFile(const std::string& path);

// The whole contents of `path` when they are at most `limit` bytes
// (openForReading's rules). A longer file is refused with
// FailureKind::tooLarge and the reason "is larger than LIMIT bytes", having
// been read no further than limit + 1 bytes, and not at all when it is a
// regular file whose size tells: a device or a sparse file costs little.
Result<std::string> readTextWithin(const std::string& path, std::size_t limit);

// Writes all of `bytes` to the descriptor `fd` (not owned), going on after
// short writes and interruptions. The one write loop of the program.
Status writeAll(int fd, std::span<const std::uint8_t> bytes);
Status writeAll(const FileDescriptor& file, std::span<const std::uint8_t> bytes);

// Creates or empties `path` and writes `bytes` to it; the write, the flush
// to the device (regular files only) and the close are checked.
Status writeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Appends `bytes` to `path`, creating it when missing. The write, the flush
// to the device (regular files only) and the close are checked.
Status appendToFile(const std::string& path, std::span<const std::uint8_t> bytes);
Status appendToFile(const std::string& path, std::string_view text);

// A file written under a temporary name beside its final one and renamed
// into place on commit, so that the final name holds either its older file
// or the complete new one. Destroyed uncommitted, it removes its temporary.
class StagedFile {
public:
    // Creates the temporary file "PATH.partXXXXXX" (temporaryPattern: always
    // a legal name beside a legal PATH) with the usual permissions of a new
    // file. With `temporaries`, the name is registered there until it is
    // renamed or removed, so that an interrupted run can remove it.
    static Result<StagedFile> create(const std::string& path, TemporaryFiles* temporaries = nullptr);
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    StagedFile(const StagedFile&) = delete;
    ~StagedFile();

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Writes the whole contents, flushes them to the device and closes the
    // temporary file; called once.
    Status write(std::span<const std::uint8_t> bytes);
    Status write(std::string_view text);
    // Renames the written temporary file to the final name.
    Status commit();
    // For publishTogether, which renamed the temporary file itself: the
    // temporary name is no longer this object's to remove.
    void markPublished();

private:
    StagedFile(std::string path, std::string temporary, FileDescriptor file, TemporaryFiles* temporaries);
    void forgetTemporary();
    std::string path_;
    std::string temporary_;
    FileDescriptor file_;
    TemporaryFiles* temporaries_;  // not owned; may be null
    bool pending_ = true;
};

// Writes `bytes` to `path` through a StagedFile and commits it; with
// `temporaries`, the temporary file is registered there while it exists.
Status replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                   TemporaryFiles* temporaries = nullptr);

// Where the last name of `path` starts: just after its last folder separator
// ('/'; on Windows also '\\' and the ':' of a drive), or 0.
std::size_t fileNameStart(std::string_view path);

// True when both names lead to the same existing file.
bool sameFile(const std::string& a, const std::string& b);

// True when something (a file, a folder, ...) exists under `path`.
bool pathExists(const std::string& path);

// What `path` names, the name itself looked at: a symbolic link, a device,
// a FIFO or a socket is `other`, as is anything that cannot be looked at
// although it exists.
enum class PathKind { missing, regular, folder, other };
PathKind pathKind(const std::string& path);

// The first `count` bytes of `path`, fewer when the file is shorter
// (openForReading's rules).
Result<std::vector<std::uint8_t>> readFirstBytes(const std::string& path, std::size_t count);

// True when the last name of `path` is one that Windows takes for a device
// whatever folder it is in: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to
// COM9 and LPT1 to LPT9 (also with the superscript digits 1, 2 and 3), in
// any case, as the whole name or before its first dot, spaces before that
// dot ignored ("aux.kvz", "Com1.tsv.kvz", "nul .txt"). A pure test on the
// text, the same on every system.
bool isWindowsDeviceName(std::string_view path);

// isWindowsDeviceName where the system opens such a name as its device
// (Windows); false on the other systems, where it is a file like any.
bool opensAsDevice(std::string_view path);

// True when `path` names an existing folder.
bool isDirectory(const std::string& path);

// The system's reason for a folder met where a file is wanted ("Is a
// directory").
std::string folderReason();

// The reason for a name that Windows opens as a device (opensAsDevice).
std::string deviceNameReason();

// Removes `path` if it exists; whether it did is not reported.
void removeFile(const std::string& path);

// Removes the file `path`, or fails with the system's reason; a path that
// names nothing is no failure.
Status removeExistingFile(const std::string& path);

}  // namespace kvz::io
