#include "io/publish.h"

#include <optional>
#include <vector>

#include "io/system.h"

namespace kvz::io {
namespace {

Failure cannotWrite(const std::string& path, const std::string& reason) {
    return fail("cannot write " + path + ": " + reason);
}

Failure cannotWrite(const std::string& path, int error) { return cannotWrite(path, os::describeError(error)); }

// An older file kept while its path is replaced: a hard link to it, or the
// file itself moved aside.
struct Backup {
    std::string name;
    bool linked = false;
};

class Publication {
public:
    Publication(std::span<StagedFile> files, TemporaryFiles& temporaries, const NameOperations& operations)
        : files_(files), temporaries_(temporaries), operations_(operations) {}

    Status run() {
        for (const StagedFile& file : files_) {
            if (isDirectory(file.path())) return cannotWrite(file.path(), folderReason());
            if (Status replaceable = os::checkReplaceable(file.path()); !replaceable)
                return cannotWrite(file.path(), replaceable.reason());
        }
        for (const StagedFile& file : files_) {
            if (Status kept = keepOlder(file.path()); !kept) return undo(kept.failure());
        }
        for (StagedFile& file : files_) {
            if (operations_.rename(file.temporaryPath().c_str(), file.path().c_str()) != 0)
                return undo(cannotWrite(file.path(), os::lastError()));
            file.markPublished();
            ++replaced_;
        }
        for (const std::optional<Backup>& backup : backups_)
            if (backup) drop(backup->name);
        return success();
    }

private:
    // Makes the older file at `path`, if any, reachable under a backup name.
    Status keepOlder(const std::string& path) {
        if (!os::pathExists(path)) {
            backups_.emplace_back();
            return success();
        }
        for (;;) {
            const std::string backup = unusedTemporaryName(path);
            temporaries_.add(backup);
            if (operations_.link(path.c_str(), backup.c_str()) == 0) {
                backups_.push_back(Backup{backup, true});
                return success();
            }
            const int error = os::lastError();
            if (os::isNameTaken(error)) {  // taken since it was picked
                temporaries_.forget(backup);
                continue;
            }
            const bool moveAside = os::takesNoHardLink(error);
            if (moveAside && operations_.rename(path.c_str(), backup.c_str()) == 0) {
                backups_.push_back(Backup{backup, false});
                return success();
            }
            const int reason = moveAside ? os::lastError() : error;
            temporaries_.forget(backup);
            return cannotWrite(path, reason);
        }
    }

    // Puts every older file back and removes the new files of paths that had
    // none; a backup that cannot be put back is kept and named. A path not
    // replaced yet still names its older file when the backup is a link: the
    // link only goes (Windows renames no name onto a file that another
    // process holds open).
    Failure undo(Failure failure) {
        for (std::size_t i = 0; i < backups_.size(); ++i) {
            const std::string& path = files_[i].path();
            const std::optional<Backup>& backup = backups_[i];
            if (!backup) {
                if (i < replaced_) removeFile(path);
                continue;
            }
            if ((backup->linked && i >= replaced_) || operations_.rename(backup->name.c_str(), path.c_str()) == 0) {
                drop(backup->name);
                continue;
            }
            failure.reason += "; the older " + path + " could not be put back (" +
                              os::describeError(os::lastError()) + ") and is kept as " + backup->name;
            temporaries_.forget(backup->name);
        }
        return failure;
    }

    void drop(const std::string& backup) {
        removeFile(backup);
        temporaries_.forget(backup);
    }

    std::span<StagedFile> files_;
    TemporaryFiles& temporaries_;
    const NameOperations& operations_;
    std::vector<std::optional<Backup>> backups_;  // per path: its older file's backup
    std::size_t replaced_ = 0;
};

}  // namespace

Status publishTogether(std::span<StagedFile> files, TemporaryFiles& temporaries,
                       const std::function<void()>& whenPublished, const NameOperations& operations) {
    os::FolderLocks locks(files);
    return temporaries.exclusively([&] {
        Status published = Publication(files, temporaries, operations).run();
        locks.release();
        if (published && whenPublished) whenPublished();
        return published;
    });
}

}  // namespace kvz::io
