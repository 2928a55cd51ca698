#include "io/journal.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "common/text.h"
#include "io/io.h"
#include "io/publish.h"
#include "io/system_internal.h"
#include "io/temporary.h"

namespace kvz::io {
namespace {

constexpr std::string_view kJournalName = ".kvzpack-journal";
constexpr std::string_view kHeader = "kvzpack publication ";
constexpr std::string_view kReady = "ready";
constexpr std::string_view kPublished = "published";
// Three names of at most 255 units (4 bytes each in UTF-8) per output, and a
// split writes at most a few hundred outputs.
constexpr std::size_t kLongestJournal = std::size_t{16} << 20;
constexpr std::size_t kNamesTold = 3;

std::string inFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (fileNameStart(folder) == folder.size()) return folder + name;
    return folder + "/" + name;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

bool isRandomPart(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// True when `temporary` is a name temporaryPattern makes beside `name`.
bool isTemporaryOf(const std::string& folder, const std::string& name, const std::string& temporary) {
    const std::string pattern = temporaryPattern(inFolder(folder, name));
    const std::string stem = pattern.substr(fileNameStart(pattern), pattern.size() - fileNameStart(pattern) - 6);
    return temporary.size() == stem.size() + 6 && temporary.starts_with(stem) &&
           std::all_of(temporary.end() - 6, temporary.end(), isRandomPart);
}

Failure notAJournal() { return fail("is not a journal of kvzpack"); }

// The lines of `text` that a line end closes; a last line cut short is left
// out.
std::vector<std::string> completeLines(const std::string& text) {
    const std::vector<std::string_view> lines = closedLines(text);
    return {lines.begin(), lines.end()};
}

std::string describeNames(const Journal& journal) {
    std::string names;
    const std::size_t told = std::min(journal.entries.size(), kNamesTold);
    for (std::size_t i = 0; i < told; ++i) names += (i > 0 ? ", " : "") + journal.entries[i].name;
    if (journal.entries.size() > told) names += " and " + std::to_string(journal.entries.size() - told) + " more";
    return std::to_string(journal.entries.size()) + (journal.entries.size() == 1 ? " file (" : " files (") + names +
           ")";
}

std::string countOf(std::size_t count, std::string_view what) {
    return std::to_string(count) + " " + std::string(what) + (count == 1 ? "" : "s");
}

// Removes `path` when it is there; true when it was.
bool removeIfThere(const std::string& path) {
    if (!os::pathExists(path)) return false;
    removeFile(path);
    return true;
}

class Repair {
public:
    Repair(const std::string& folder, const Journal& journal) : folder_(folder), journal_(journal) {}

    Result<std::string> run() {
        if (!journal_.ready) {
            for (const JournalEntry& entry : journal_.entries) removeTemporary(entry.temporary);
            return "a run was killed before it replaced any file; " + countOf(removed_, "temporary file") +
                   " removed";
        }
        if (journal_.published) {
            for (const JournalEntry& entry : journal_.entries) {
                removeTemporary(entry.temporary);
                removeTemporary(entry.backup);
            }
            return "a run was killed once it had replaced " + describeNames(journal_) +
                   ": they are its new files; " + countOf(removed_, "temporary file") + " removed";
        }
        for (const JournalEntry& entry : journal_.entries) KVZ_TRY(rollBack(entry));
        return "a run was killed while it replaced " + describeNames(journal_) + ": they are the older files again; " +
               countOf(removed_, "temporary file") + " removed";
    }

private:
    // The older file back under its name, or the new one gone where there
    // was none; the staged file removed.
    Status rollBack(const JournalEntry& entry) {
        const std::string path = inFolder(folder_, entry.name);
        const std::string temporary = inFolder(folder_, entry.temporary);
        if (!entry.backup.empty()) {
            const std::string backup = inFolder(folder_, entry.backup);
            if (os::pathExists(backup)) {
                if (renameName(backup.c_str(), path.c_str()) != 0)
                    return fail("cannot put back " + path + " from " + backup + ": " +
                                os::describeError(os::lastError()));
                // A hard link onto the same file renames nothing.
                if (removeIfThere(backup)) ++removed_;
            }
        } else if (!os::pathExists(temporary)) {
            removeFile(path);
        }
        removeTemporary(entry.temporary);
        return success();
    }

    void removeTemporary(const std::string& name) {
        if (!name.empty() && removeIfThere(inFolder(folder_, name))) ++removed_;
    }

    const std::string& folder_;
    const Journal& journal_;
    std::size_t removed_ = 0;
};

}  // namespace

std::string journalPath(const std::string& folder) { return inFolder(folder, std::string(kJournalName)); }

std::string formatJournal(const std::vector<JournalEntry>& entries) {
    std::string text = std::string(kHeader) + std::to_string(entries.size()) + "\n";
    for (const JournalEntry& entry : entries) text += entry.name + "\n" + entry.temporary + "\n" + entry.backup + "\n";
    return text + std::string(kReady) + "\n";
}

std::string formatJournalMark() { return std::string(kPublished) + "\n"; }

Result<Journal> parseJournal(const std::string& text, const std::string& folder) {
    const std::vector<std::string> lines = completeLines(text);
    Journal journal;
    if (lines.empty()) return journal;
    if (!lines[0].starts_with(kHeader)) return notAJournal();
    std::size_t count = 0;
    const std::string_view number = std::string_view(lines[0]).substr(kHeader.size());
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), count);
    if (error != std::errc{} || end != number.data() + number.size()) return notAJournal();
    for (std::size_t i = 0; i < count; ++i) {
        if (lines.size() < 4 + 3 * i) return journal;
        JournalEntry entry{lines[1 + 3 * i], lines[2 + 3 * i], lines[3 + 3 * i]};
        if (!isPlainName(entry.name) || !isTemporaryOf(folder, entry.name, entry.temporary) ||
            (!entry.backup.empty() && !isTemporaryOf(folder, entry.name, entry.backup)))
            return notAJournal();
        journal.entries.push_back(std::move(entry));
    }
    const std::size_t rest = 1 + 3 * count;
    if (lines.size() <= rest) return journal;
    if (lines[rest] != kReady || lines.size() > rest + 2 || (lines.size() == rest + 2 && lines[rest + 1] != kPublished))
        return notAJournal();
    journal.ready = true;
    journal.published = lines.size() == rest + 2;
    return journal;
}

Result<std::optional<std::string>> repairLocked(const std::string& folder) {
    const std::string path = journalPath(folder);
    if (!os::pathExists(path)) return std::optional<std::string>();
    const Result<std::string> text = readTextWithin(path, kLongestJournal);
    if (!text) return fail("cannot read " + path + ": " + text.reason());
    const Result<Journal> journal = parseJournal(*text, folder);
    if (!journal) return fail(path + " " + journal.reason() + "; it is left as it is");
    Result<std::string> repaired = Repair(folder, *journal).run();
    if (!repaired) return fail(repaired.reason() + "; " + path + " is kept for the next run");
    removeFile(path);
    os::flushFolder(folder);
    return std::optional<std::string>(std::move(*repaired));
}

Result<std::optional<std::string>> repairInterruptedPublication(const std::string& folder) {
    const std::string journal = journalPath(folder);
    if (!os::pathExists(journal)) return std::optional<std::string>();
    os::FolderLocks locks(std::span<const std::string>(&journal, 1));
    return repairLocked(folder);
}

}  // namespace kvz::io
