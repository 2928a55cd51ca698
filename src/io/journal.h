// The journal of a set of outputs being published: written and flushed to
// the disk before the first name changes, marked once the last new file is
// in place, and removed when the publication is over. A run killed in
// between (SIGKILL, a power loss) leaves it, and the next run that publishes
// into the folder, or looks there first, repairs the set: rolled back to the
// older files when the mark is missing, completed when it is there, and the
// temporary files it lists removed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/result.h"

namespace kvz::io {

// One output of the set: its final name, its staged temporary file, and the
// backup that keeps its older file (empty when it had none). Names only,
// without the folder: every file of a set lies in the journal's folder.
struct JournalEntry {
    std::string name;
    std::string temporary;
    std::string backup;
    bool operator==(const JournalEntry&) const = default;
};

struct Journal {
    std::vector<JournalEntry> entries;
    bool ready = false;      // written whole: names may have changed since
    bool published = false;  // every new file was in place
};

// "FOLDER/.kvzpack-journal" ("./" for the current folder left out).
std::string journalPath(const std::string& folder);

// The journal's text: "kvzpack publication N", three lines per entry
// (name, temporary, backup), and "ready"; formatJournalMark gives the line
// appended once the set is published.
std::string formatJournal(const std::vector<JournalEntry>& entries);
std::string formatJournalMark();

// The journal a text holds, or why it is none this kvzpack wrote. A text cut
// short before "ready" is a journal that is not ready, with the entries
// written whole. Every name must be a plain name (no folder, not "." or
// ".."), and every temporary and backup name one made for its final name
// (temporaryPattern's, with six letters or digits), so that a journal never
// leads to another file.
Result<Journal> parseJournal(const std::string& text, const std::string& folder);

// Repairs the set that the journal in `folder` describes, under the folder's
// lock, and removes the journal. Nothing when there is no journal; else a
// one-line account of what was done ("a run was killed while it replaced 2
// files (deck.ihx, deck.txt): they are the older files again; 3 temporary
// files removed"), or the failure that left the journal in place.
Result<std::optional<std::string>> repairInterruptedPublication(const std::string& folder);

// repairInterruptedPublication without taking the lock: for a publication
// that holds it already.
Result<std::optional<std::string>> repairLocked(const std::string& folder);

}  // namespace kvz::io
