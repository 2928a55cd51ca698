#include "io/publish.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

namespace kvz::io {
namespace {

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Errors of link() that say this file system or file takes no (more) hard
// links, so that the older file is moved aside instead.
bool takesNoHardLink(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK;
}

Failure cannotWrite(const std::string& path, int error) {
    return fail("cannot write " + path + ": " + std::strerror(error));
}

// The folder that holds `path`.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Exclusive locks of the folders of a set of files, held until released or
// destroyed. Each folder is locked once, however it is named, and folders
// are locked in one order (device, then inode), so that two processes
// locking the same folders never wait for each other in a circle.
class FolderLocks {
public:
    explicit FolderLocks(std::span<const StagedFile> files) {
        struct Folder {
            dev_t device;
            ino_t inode;
            FileDescriptor descriptor;
        };
        std::vector<Folder> folders;
        for (const StagedFile& file : files) {
            FileDescriptor folder(::open(folderOf(file.path()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            struct stat info {};
            if (!folder.isOpen() || ::fstat(folder.get(), &info) != 0) continue;  // published unlocked
            folders.push_back({info.st_dev, info.st_ino, std::move(folder)});
        }
        const auto key = [](const Folder& folder) { return std::tie(folder.device, folder.inode); };
        std::sort(folders.begin(), folders.end(), [&](const Folder& a, const Folder& b) { return key(a) < key(b); });
        for (std::size_t i = 0; i < folders.size(); ++i) {
            if (i > 0 && key(folders[i]) == key(folders[i - 1])) continue;
            if (lock(folders[i].descriptor)) held_.push_back(std::move(folders[i].descriptor));
        }
    }

    // Unlocks every folder (closing its descriptor drops the lock).
    void release() { held_.clear(); }

private:
    static bool lock(const FileDescriptor& folder) {
        for (;;) {
            if (::flock(folder.get(), LOCK_EX) == 0) return true;
            if (errno != EINTR) return false;
        }
    }

    std::vector<FileDescriptor> held_;
};

class Publication {
public:
    Publication(std::span<StagedFile> files, TemporaryFiles& temporaries, const NameOperations& operations)
        : files_(files), temporaries_(temporaries), operations_(operations) {}

    Status run() {
        for (const StagedFile& file : files_)
            if (isDirectory(file.path())) return cannotWrite(file.path(), EISDIR);
        for (const StagedFile& file : files_) {
            if (Status kept = keepOlder(file.path()); !kept) return undo(kept.failure());
        }
        for (StagedFile& file : files_) {
            if (operations_.rename(file.temporaryPath().c_str(), file.path().c_str()) != 0)
                return undo(cannotWrite(file.path(), errno));
            file.markPublished();
            ++replaced_;
        }
        for (const std::optional<std::string>& backup : backups_)
            if (backup) drop(*backup);
        return success();
    }

private:
    // Makes the older file at `path`, if any, reachable under a backup name.
    Status keepOlder(const std::string& path) {
        if (!exists(path)) {
            backups_.emplace_back();
            return success();
        }
        for (;;) {
            const std::string backup = unusedTemporaryName(path);
            temporaries_.add(backup);
            if (operations_.link(path.c_str(), backup.c_str()) == 0) {
                backups_.push_back(backup);
                return success();
            }
            const int error = errno;
            if (error == EEXIST) {  // taken since it was picked
                temporaries_.forget(backup);
                continue;
            }
            if (takesNoHardLink(error) && operations_.rename(path.c_str(), backup.c_str()) == 0) {
                backups_.push_back(backup);
                return success();
            }
            temporaries_.forget(backup);
            return cannotWrite(path, takesNoHardLink(error) ? errno : error);
        }
    }

    // Puts every older file back and removes the new files of paths that had
    // none; a backup that cannot be put back is kept and named.
    Failure undo(Failure failure) {
        for (std::size_t i = 0; i < backups_.size(); ++i) {
            const std::string& path = files_[i].path();
            if (!backups_[i]) {
                if (i < replaced_) ::unlink(path.c_str());
                continue;
            }
            // Renaming a hard link onto a name of the same file changes nothing.
            if (operations_.rename(backups_[i]->c_str(), path.c_str()) == 0) {
                drop(*backups_[i]);
                continue;
            }
            failure.reason += "; the older " + path + " could not be put back (" + std::strerror(errno) +
                              ") and is kept as " + *backups_[i];
            temporaries_.forget(*backups_[i]);
        }
        return failure;
    }

    void drop(const std::string& backup) {
        ::unlink(backup.c_str());
        temporaries_.forget(backup);
    }

    std::span<StagedFile> files_;
    TemporaryFiles& temporaries_;
    const NameOperations& operations_;
    std::vector<std::optional<std::string>> backups_;  // per path: its older file's backup name
    std::size_t replaced_ = 0;
};

}  // namespace

Status publishTogether(std::span<StagedFile> files, TemporaryFiles& temporaries,
                       const std::function<void()>& whenPublished, const NameOperations& operations) {
    FolderLocks locks(files);
    return temporaries.exclusively([&] {
        Status published = Publication(files, temporaries, operations).run();
        locks.release();
        if (published && whenPublished) whenPublished();
        return published;
    });
}

}  // namespace kvz::io
