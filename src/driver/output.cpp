#include "driver/output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kvz {
namespace {

// The permissions a newly created file gets (mkstemp makes it private).
mode_t usualFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

Result<StagedFile> StagedFile::create(const std::string& path) {
    std::vector<char> name(path.begin(), path.end());
    const char suffix[] = ".partXXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);  // with its zero
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return fail("cannot create a file beside " + path + ": " + std::strerror(errno));
    ::fchmod(fd, usualFileMode());
    ::close(fd);
    return StagedFile(path, std::string(name.data()));
}

StagedFile::StagedFile(std::string path, std::string temporary)
    : path_(std::move(path)), temporary_(std::move(temporary)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::move(other.temporary_)), pending_(other.pending_) {
    other.pending_ = false;
}

StagedFile::~StagedFile() {
    if (pending_) ::unlink(temporary_.c_str());
}

Status StagedFile::commit() {
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0)
        return fail("cannot write " + path_ + ": " + std::strerror(errno));
    pending_ = false;
    return success();
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace kvz
