// io's system calls on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "io/io.h"
#include "io/process.h"
#include "io/publish.h"
#include "io/system_internal.h"

namespace kvz::io {
namespace {

Failure cannotRead() { return os::lastFailure(FailureKind::cannotOpen); }

// The permissions a newly created file gets (mkstemp makes it private).
mode_t usualFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The folder that holds `path`.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

namespace os {

int lastError() { return errno; }

std::string describeError(int error) { return std::strerror(error); }

bool isNameTaken(int error) { return error == EEXIST; }

bool takesNoHardLink(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK;
}

bool closeDescriptor(int fd) { return ::close(fd) == 0; }

std::optional<std::size_t> readSome(const FileDescriptor& file, void* into, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(file.get(), into, count);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return std::nullopt;
    }
}

Result<std::optional<std::uintmax_t>> regularFileSize(const FileDescriptor& file) {
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return lastFailure();
    if (!S_ISREG(info.st_mode)) return std::optional<std::uintmax_t>();
    return std::optional<std::uintmax_t>(static_cast<std::uintmax_t>(info.st_size));
}

Status flushToDevice(const FileDescriptor& file) {
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return lastFailure();
    if (S_ISREG(info.st_mode) && ::fsync(file.get()) != 0) return lastFailure();
    return success();
}

Result<FileDescriptor> openForWriting(const std::string& path, bool append) {
    const int mode = append ? O_APPEND : O_TRUNC;
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | mode | O_CLOEXEC, 0666));
    if (!file.isOpen()) return lastFailure();
    return file;
}

FileDescriptor createUniqueFile(std::string& pattern) { return FileDescriptor(::mkstemp(pattern.data())); }

Status useUsualPermissions(const FileDescriptor& file) {
    if (::fchmod(file.get(), usualFileMode()) != 0) return lastFailure();
    return success();
}

Status replaceName(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return lastFailure();
    return success();
}

Status checkReplaceable(const std::string&) { return success(); }

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::size_t longestNameIn(const std::string& folder) {
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

std::string leadingName(std::string_view name, std::size_t room) { return std::string(name.substr(0, room)); }

bool lockFile(const FileDescriptor& file, bool wait) {
    for (;;) {
        if (::flock(file.get(), LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) return true;
        if (errno != EINTR) return false;
    }
}

bool stillNamed(const FileDescriptor& file) {
    struct stat info {};
    return ::fstat(file.get(), &info) == 0 && info.st_nlink > 0;
}

std::vector<std::string> namesStartingWith(const std::string& folder, std::string_view prefix) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!listing) return names;
    while (const dirent* entry = ::readdir(listing.get()))
        if (std::string_view name = entry->d_name; name.starts_with(prefix)) names.emplace_back(name);
    return names;
}

// Folders are locked with flock on the folder itself, so that no lock file
// is made or left behind, in the order of (device, inode).
struct FolderLocks::Held {
    std::vector<FileDescriptor> descriptors;
};

namespace {

bool lockFolder(const FileDescriptor& folder) {
    for (;;) {
        if (::flock(folder.get(), LOCK_EX) == 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

void flushFolder(const std::string& folder) {
    const FileDescriptor descriptor(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (descriptor.isOpen()) ::fsync(descriptor.get());
}

FolderLocks::FolderLocks(std::span<const std::string> paths) : held_(std::make_unique<Held>()) {
    struct Folder {
        dev_t device;
        ino_t inode;
        FileDescriptor descriptor;
    };
    std::vector<Folder> folders;
    for (const std::string& path : paths) {
        FileDescriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat info {};
        if (!folder.isOpen() || ::fstat(folder.get(), &info) != 0) continue;  // published unlocked
        folders.push_back({info.st_dev, info.st_ino, std::move(folder)});
    }
    const auto key = [](const Folder& folder) { return std::tie(folder.device, folder.inode); };
    std::sort(folders.begin(), folders.end(), [&](const Folder& a, const Folder& b) { return key(a) < key(b); });
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (i > 0 && key(folders[i]) == key(folders[i - 1])) continue;
        if (lockFolder(folders[i].descriptor)) held_->descriptors.push_back(std::move(folders[i].descriptor));
    }
}

FolderLocks::~FolderLocks() = default;

// Closing a folder's descriptor drops its lock.
void FolderLocks::release() { held_->descriptors.clear(); }

}  // namespace os

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

Status writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return os::lastFailure();
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return success();
}

std::size_t fileNameStart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

PathKind pathKind(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT || errno == ENOTDIR ? PathKind::missing : PathKind::other;
    if (S_ISREG(info.st_mode)) return PathKind::regular;
    return S_ISDIR(info.st_mode) ? PathKind::folder : PathKind::other;
}

bool opensAsDevice(std::string_view) { return false; }

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string folderReason() { return std::strerror(EISDIR); }

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

Status removeExistingFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return success();
    return os::lastFailure();
}

int linkName(const char* from, const char* to) { return ::link(from, to); }

int renameName(const char* from, const char* to) { return ::rename(from, to); }

std::vector<std::string> commandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

std::ostream& standardError() { return std::cerr; }

}  // namespace kvz::io
