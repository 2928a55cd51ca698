#include "io/publish.h"

#include <optional>
#include <vector>

#include "io/journal.h"
#include "io/system_internal.h"

namespace kvz::io {
namespace {

Failure cannotWrite(const std::string& path, const std::string& reason) {
    return fail("cannot write " + path + ": " + reason);
}

Failure cannotWrite(const std::string& path, int error) { return cannotWrite(path, os::describeError(error)); }

std::string nameIn(const std::string& path) { return path.substr(fileNameStart(path)); }

// The folder that every file of the set lies in, or none when they lie in
// several (such a set is published without a journal).
std::optional<std::string> commonFolder(std::span<const StagedFile> files) {
    if (files.empty()) return std::nullopt;
    const std::string folder = files[0].path().substr(0, fileNameStart(files[0].path()));
    for (const StagedFile& file : files)
        if (file.path().substr(0, fileNameStart(file.path())) != folder) return std::nullopt;
    return folder;
}

// An older file kept while its path is replaced: a hard link to it, or the
// file itself moved aside.
struct Backup {
    std::string name;
    bool linked = false;
    bool made = false;
};

class Publication {
public:
    Publication(std::span<StagedFile> files, TemporaryFiles& temporaries, const NameOperations& operations,
                std::vector<std::string>& repairs)
        : files_(files), temporaries_(temporaries), operations_(operations), repairs_(repairs) {}

    Status run() {
        for (const StagedFile& file : files_) {
            if (isDirectory(file.path())) return cannotWrite(file.path(), folderReason());
            if (Status replaceable = os::checkReplaceable(file.path()); !replaceable)
                return cannotWrite(file.path(), replaceable.reason());
        }
        folder_ = commonFolder(files_);
        KVZ_TRY(repairEarlier());
        for (const StagedFile& file : files_) pickBackup(file.path());
        if (Status recorded = writeJournal(); !recorded) {
            forgetBackups();
            return recorded;
        }
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (Status kept = keepOlder(i); !kept) return undo(kept.failure());
        }
        for (StagedFile& file : files_) {
            if (operations_.rename(file.temporaryPath().c_str(), file.path().c_str()) != 0)
                return undo(cannotWrite(file.path(), os::lastError()));
            file.markPublished();
            ++replaced_;
        }
        markJournal();
        for (const std::optional<Backup>& backup : backups_)
            if (backup) drop(backup->name);
        removeJournal();
        return success();
    }

private:
    // What a killed run left in the folder is put right before this set
    // changes a name there.
    Status repairEarlier() {
        if (!folder_) return success();
        Result<std::optional<std::string>> repaired = repairLocked(*folder_);
        if (!repaired) return cannotWrite(files_[0].path(), repaired.reason());
        if (*repaired) repairs_.push_back(journalPath(*folder_) + ": " + **repaired);
        return success();
    }

    // Picks the name under which the older file at `path`, if any, is kept.
    void pickBackup(const std::string& path) {
        if (!os::pathExists(path)) {
            backups_.emplace_back();
            return;
        }
        const std::string backup = unusedTemporaryName(path);
        temporaries_.add(backup);
        backups_.push_back(Backup{backup});
    }

    void forgetBackups() {
        for (const std::optional<Backup>& backup : backups_)
            if (backup) temporaries_.forget(backup->name);
    }

    // The set, flushed to the disk with its name before any name changes.
    Status writeJournal() {
        if (!folder_) return success();
        std::vector<JournalEntry> entries;
        for (std::size_t i = 0; i < files_.size(); ++i)
            entries.push_back({nameIn(files_[i].path()), nameIn(files_[i].temporaryPath()),
                               backups_[i] ? nameIn(backups_[i]->name) : std::string()});
        const std::string journal = journalPath(*folder_);
        if (Status written = writeFile(journal, asBytes(formatJournal(entries))); !written) {
            removeFile(journal);
            return cannotWrite(files_[0].path(), "cannot write the journal " + journal + ": " + written.reason());
        }
        os::flushFolder(*folder_);
        return success();
    }

    // Once every new file is in place: a repair then completes the set. A
    // mark that cannot be written leaves a repair to roll back what is in
    // fact complete, which is as sound.
    void markJournal() {
        if (!folder_) return;
        os::flushFolder(*folder_);
        (void)appendToFile(journalPath(*folder_), formatJournalMark());
    }

    void removeJournal() {
        if (folder_) removeFile(journalPath(*folder_));
    }

    // Makes the older file at path `i`, if any, reachable under its backup
    // name.
    Status keepOlder(std::size_t i) {
        if (!backups_[i]) return success();
        Backup& backup = *backups_[i];
        const std::string& path = files_[i].path();
        for (;;) {
            if (operations_.link(path.c_str(), backup.name.c_str()) == 0) {
                backup.linked = backup.made = true;
                return success();
            }
            const int error = os::lastError();
            if (os::isNameTaken(error)) {  // taken since it was picked: the journal names another
                temporaries_.forget(backup.name);
                backup.name = unusedTemporaryName(path);
                temporaries_.add(backup.name);
                KVZ_TRY(writeJournal());
                continue;
            }
            const bool moveAside = os::takesNoHardLink(error);
            if (moveAside && operations_.rename(path.c_str(), backup.name.c_str()) == 0) {
                backup.made = true;
                return success();
            }
            return cannotWrite(path, moveAside ? os::lastError() : error);
        }
    }

    // Puts every older file back and removes the new files of paths that had
    // none; a backup that cannot be put back is kept and named, and so is the
    // journal, from which the next run tries again. A path not replaced yet
    // still names its older file when the backup is a link: the link only
    // goes (Windows renames no name onto a file that another process holds
    // open).
    Failure undo(Failure failure) {
        bool whole = true;
        for (std::size_t i = 0; i < backups_.size(); ++i) {
            const std::string& path = files_[i].path();
            const std::optional<Backup>& backup = backups_[i];
            if (!backup) {
                if (i < replaced_) removeFile(path);
                continue;
            }
            if (!backup->made ||
                (backup->linked && i >= replaced_) || operations_.rename(backup->name.c_str(), path.c_str()) == 0) {
                drop(backup->name);
                continue;
            }
            failure.reason += "; the older " + path + " could not be put back (" +
                              os::describeError(os::lastError()) + ") and is kept as " + backup->name;
            temporaries_.forget(backup->name);
            whole = false;
        }
        if (whole) removeJournal();
        return failure;
    }

    void drop(const std::string& backup) {
        removeFile(backup);
        temporaries_.forget(backup);
    }

    std::span<StagedFile> files_;
    TemporaryFiles& temporaries_;
    const NameOperations& operations_;
    std::vector<std::string>& repairs_;
    std::optional<std::string> folder_;
    std::vector<std::optional<Backup>> backups_;  // per path: its older file's backup
    std::size_t replaced_ = 0;
};

}  // namespace

Status publishTogether(std::span<StagedFile> files, TemporaryFiles& temporaries,
                       const std::function<void()>& whenPublished, const NameOperations& operations,
                       std::vector<std::string>* repairs) {
    std::vector<std::string> paths;
    for (const StagedFile& file : files) paths.push_back(file.path());
    os::FolderLocks locks(paths);
    std::vector<std::string> repaired;
    Status status = temporaries.exclusively([&] {
        Status published = Publication(files, temporaries, operations, repaired).run();
        locks.release();
        if (published && whenPublished) whenPublished();
        return published;
    });
    if (repairs) repairs->insert(repairs->end(), repaired.begin(), repaired.end());
    return status;
}

}  // namespace kvz::io
