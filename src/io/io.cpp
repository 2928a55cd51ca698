#include "io/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

namespace kvz::io {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

Failure systemFailure(int error, FailureKind kind = FailureKind::invalid) {
    return fail(std::strerror(error), kind);
}

Failure cannotRead() { return systemFailure(errno, FailureKind::cannotOpen); }

// Some file systems report a failed write only when the data reach the
// device. Devices and pipes have nothing to flush.
Status syncRegularFile(const FileDescriptor& file) {
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return systemFailure(errno);
    if (S_ISREG(info.st_mode) && ::fsync(file.get()) != 0) return systemFailure(errno);
    return success();
}

Status writeSyncClose(FileDescriptor& file, std::span<const std::uint8_t> bytes) {
    KVZ_TRY(writeAll(file, bytes));
    KVZ_TRY(syncRegularFile(file));
    return file.close();
}

// The permissions a newly created file gets (mkstemp makes it private).
mode_t usualFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Appends up to `count` bytes of `file` to `buffer` (a byte vector or a
// string): readUpTo's loop.
template <class Buffer>
Status appendUpTo(const FileDescriptor& file, Buffer& buffer, std::size_t count) {
    while (count > 0) {
        const std::size_t want = std::min(count, kReadChunk);
        const std::size_t before = buffer.size();
        buffer.resize(before + want);
        const ssize_t got = ::read(file.get(), buffer.data() + before, want);
        if (got < 0) {
            buffer.resize(before);
            if (errno == EINTR) continue;
            return cannotRead();
        }
        buffer.resize(before + static_cast<std::size_t>(got));
        if (got == 0) break;
        count -= static_cast<std::size_t>(got);
    }
    return success();
}

}  // namespace

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

Status FileDescriptor::close() {
    if (::close(std::exchange(fd_, -1)) != 0) return systemFailure(errno);
    return success();
}

Result<FileDescriptor> openForReading(const std::string& path) {
    // O_NONBLOCK so that opening a FIFO without a writer does not wait; it is
    // cleared again so that reads wait for a writer's data.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.isOpen()) return cannotRead();
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return cannotRead();
    if (S_ISDIR(info.st_mode)) return fail("is a directory");
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return cannotRead();
    return file;
}

Status readUpTo(const FileDescriptor& file, std::vector<std::uint8_t>& bytes, std::size_t count) {
    return appendUpTo(file, bytes, count);
}

Result<std::vector<std::uint8_t>> readFile(const std::string& path) {
    Result<FileDescriptor> file = openForReading(path);
    KVZ_TRY(file);
    std::vector<std::uint8_t> bytes;
    KVZ_TRY(appendUpTo(*file, bytes, std::numeric_limits<std::size_t>::max()));
    return bytes;
}

Result<std::string> readTextFile(const std::string& path) {
    Result<FileDescriptor> file = openForReading(path);
    KVZ_TRY(file);
    std::string text;
    KVZ_TRY(appendUpTo(*file, text, std::numeric_limits<std::size_t>::max()));
    return text;
}

Result<std::string> readTextWithin(const std::string& path, std::size_t limit) {
    Result<FileDescriptor> file = openForReading(path);
    KVZ_TRY(file);
    const auto tooLarge = [&] { return fail("is larger than " + std::to_string(limit) + " bytes", FailureKind::tooLarge); };
    struct stat info {};
    if (::fstat(file->get(), &info) != 0) return cannotRead();
    if (S_ISREG(info.st_mode) && static_cast<std::uintmax_t>(info.st_size) > limit) return tooLarge();
    std::string text;
    KVZ_TRY(appendUpTo(*file, text, limit + 1));
    if (text.size() > limit) return tooLarge();
    return text;
}

Status writeAll(const FileDescriptor& file, std::span<const std::uint8_t> bytes) {
    return writeAll(file.get(), bytes);
}

Status writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return systemFailure(errno);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return success();
}

Status writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.isOpen()) return systemFailure(errno);
    return writeSyncClose(file, bytes);
}

Status appendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (!file.isOpen()) return systemFailure(errno);
    return writeSyncClose(file, bytes);
}

Status appendToFile(const std::string& path, std::string_view text) {
    return appendToFile(path, asBytes(text));
}

Result<StagedFile> StagedFile::create(const std::string& path, TemporaryFiles* temporaries) {
    std::string name = temporaryPattern(path);
    // Created and registered in one step: an interruption never finds the
    // file made but not yet listed.
    const auto makeFile = [&] {
        FileDescriptor file(::mkstemp(name.data()));
        if (file.isOpen() && temporaries) temporaries->add(name);
        return file;
    };
    FileDescriptor file = temporaries ? temporaries->exclusively(makeFile) : makeFile();
    if (!file.isOpen()) return systemFailure(errno);
    StagedFile staged(path, std::move(name), std::move(file), temporaries);
    if (::fchmod(staged.file_.get(), usualFileMode()) != 0) return systemFailure(errno);
    return staged;
}

StagedFile::StagedFile(std::string path, std::string temporary, FileDescriptor file, TemporaryFiles* temporaries)
    : path_(std::move(path)), temporary_(std::move(temporary)), file_(std::move(file)), temporaries_(temporaries) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)),
      temporary_(std::move(other.temporary_)),
      file_(std::move(other.file_)),
      temporaries_(other.temporaries_),
      pending_(std::exchange(other.pending_, false)) {}

StagedFile::~StagedFile() {
    if (!pending_) return;
    ::unlink(temporary_.c_str());
    forgetTemporary();
}

void StagedFile::forgetTemporary() {
    if (temporaries_) temporaries_->forget(temporary_);
}

void StagedFile::markPublished() {
    pending_ = false;
    forgetTemporary();
}

Status StagedFile::write(std::span<const std::uint8_t> bytes) { return writeSyncClose(file_, bytes); }

Status StagedFile::write(std::string_view text) { return write(asBytes(text)); }

Status StagedFile::commit() {
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) return systemFailure(errno);
    markPublished();
    return success();
}

Status replaceFile(const std::string& path, std::span<const std::uint8_t> bytes, TemporaryFiles* temporaries) {
    Result<StagedFile> staged = StagedFile::create(path, temporaries);
    KVZ_TRY(staged);
    KVZ_TRY(staged->write(bytes));
    return staged->commit();
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string folderReason() { return std::strerror(EISDIR); }

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace kvz::io
