// Anki packages (.apkg, .colpkg) read from their bytes: the zip archive,
// the collection in it (plain SQLite or compressed with zstd), its note
// types, decks and notes. The three libraries that do the unpacking and the
// SQL are reached only through PackageLibraries, so that the programs plug
// in the system's libraries and the page its own. Nothing is extracted to
// disk. The notes then become a deck through the very code that reads a
// "Notes in Plain Text" export, so that both roads give the same deck.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "deck/deck_input.h"

namespace kvz {

struct ZipEntry {
    std::string name;
    std::uint64_t size = 0;  // expanded, as the archive declares it
};

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using SqlRows = std::vector<std::vector<std::string>>;

// What the package reader needs of a zip reader, zstd and SQLite. Each
// fails with FailureKind::tooLarge where the output would pass `limit`,
// and with any other kind where the input is damaged; their reasons are
// not shown (the reader says what went wrong in its own words, the same
// whichever libraries a build has).
struct PackageLibraries {
    // The entries of a zip archive, in the archive's order.
    std::function<Result<std::vector<ZipEntry>>(ByteView zip)> listEntries;
    // The expanded bytes of the entry named `name`.
    std::function<Result<Bytes>(ByteView zip, const std::string& name, std::size_t limit)> readEntry;
    // The bytes of the zstd frames that `compressed` holds, one after another.
    std::function<Result<Bytes>(ByteView compressed, std::size_t limit)> decompressZstd;
    // The rows of a read-only query of the SQLite database `database` held
    // in memory, each cell as text (NULL as an empty text).
    std::function<Result<SqlRows>(ByteView database, const std::string& sql)> query;
};

// The most bytes any entry or collection is unpacked to: a larger one is
// refused as a zip bomb would be.
inline constexpr std::size_t kLargestCollection = std::size_t{512} << 20;

struct AnkiNoteType {
    std::string id;
    std::string name;
    std::vector<std::string> fields;  // in their order
    std::size_t notes = 0;            // notes of this type in `AnkiCollection::notes`
};

struct AnkiDeck {
    std::string id;
    std::string name;  // its parts joined by "::", "Japanese::Lesson 1"
    std::size_t notes = 0;  // notes in it and its subdecks
};

struct AnkiNote {
    std::size_t noteType = 0;  // index in AnkiCollection::noteTypes
    std::string deck;          // full name of the deck of its first card
    std::vector<std::string> fields;
};

struct AnkiCollection {
    std::string entry;  // the entry read: "collection.anki21b"
    int schema = 0;     // 11 or 18
    std::vector<AnkiNoteType> noteTypes;  // in order of their ids
    std::vector<AnkiDeck> decks;          // in order of their names
    std::vector<AnkiNote> notes;          // in order of their ids; a note with no card left out
};

// A zip archive's first bytes.
bool looksLikeZip(std::string_view bytes);

// A package by its file's name: .apkg or .colpkg, in any case.
bool isPackageName(std::string_view fileName);

// The collection of the package `bytes`: the newest present
// (collection.anki21b, then collection.anki21, then collection.anki2, the
// placeholder an old Anki would read), zstd-decompressed for anki21b,
// checked with PRAGMA integrity_check, its schema (11: the table col with
// JSON; 18: the tables notetypes, fields and decks) found. A note's deck is
// its first card's (lowest ord). Refuses, each in one line: bytes that are
// no zip archive, an archive that cannot be listed, an entry name holding
// ".." as a part or starting with '/' or '\\', no collection, an entry or
// frame that would expand past `limit`, a frame that does not decompress,
// a collection that is no SQLite database, fails its integrity check, is
// of no schema read here or whose tables cannot be read.
Result<AnkiCollection> readAnkiPackage(ByteView bytes, const PackageLibraries& libraries,
                                       std::size_t limit = kLargestCollection);

// The notes of deck `name` (any case) and its subdecks only, the counts
// made again. Refuses a name that no deck has, listing the decks that hold
// notes.
Result<AnkiCollection> keepDeck(AnkiCollection collection, std::string_view name);

// What `kvzdeck list` prints: the decks with their notes, then the note
// types with their notes and fields, one a line.
std::vector<std::string> describePackage(const AnkiCollection& collection);

// For -v: "note type 'Basic': 12 notes, fields Front, Back", one a line.
std::vector<std::string> describeNoteTypes(const AnkiCollection& collection);

// The notes as the deck that their "Notes in Plain Text" export (notetype
// and deck columns, HTML kept) gives with these options, through
// readDeckInput. `options.namedColumns` name note types' fields (a role may
// be given once for each note type, see parseColumnList); every note type
// must have a field named, and every name must be a field of one. Refuses
// --separator, --encoding, --header and --no-header, which a package has
// no use for, and a collection of no note. A message's line number is the
// note's, from 1 in the order of the notes.
Result<DeckInput> readPackageInput(const AnkiCollection& collection, const DeckInputOptions& options);

// That text export itself: "#separator:tab", "#html:true", "#notetype
// column:1", "#deck column:2", then a line per note with its note type,
// deck and fields (quoted where they hold a tab, a line break or a quote).
std::string plainTextExport(const AnkiCollection& collection);

// Why a build without the libraries refuses a package.
inline constexpr std::string_view kNoPackageReading =
    "is an Anki package, and this build of kvzdeck reads none (it was built without SQLite, libzip and zstd): "
    "in Anki, export the notes as \"Notes in Plain Text\" and build the deck from that text";

}  // namespace kvz
