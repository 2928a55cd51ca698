#include "deck/anki_package.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "common/file_names.h"
#include "common/text.h"
#include "deck/utf8.h"

namespace kvz {
namespace {

// Newest first: a current Anki writes collection.anki21b, and beside it a
// collection.anki2 whose one note asks an old Anki's user to update.
constexpr std::array<std::string_view, 3> kCollections{"collection.anki21b", "collection.anki21", "collection.anki2"};

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};

std::string mebibytes(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// A name that would point outside a folder it was extracted to.
bool escapingName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        if (name.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

std::string collectionReason(std::string_view entry, const std::string& why) {
    return "cannot be read as an Anki package: its collection " + std::string(entry) + " " + why;
}

Result<SqlRows> runQuery(const PackageLibraries& libraries, ByteView database, std::string_view entry,
                         const std::string& sql, std::string_view what, std::size_t columns) {
    Result<SqlRows> rows = libraries.query(database, sql);
    if (!rows) return fail(collectionReason(entry, "is damaged: its " + std::string(what) + " cannot be read"));
    for (const std::vector<std::string>& row : *rows)
        if (row.size() != columns)
            return fail(collectionReason(entry, "is damaged: its " + std::string(what) + " cannot be read"));
    return rows;
}

bool hasTables(const SqlRows& tables, std::initializer_list<std::string_view> wanted) {
    return std::all_of(wanted.begin(), wanted.end(), [&](std::string_view name) {
        return std::any_of(tables.begin(), tables.end(),
                           [&](const std::vector<std::string>& row) { return lowerTrimmed(row[0]) == name; });
    });
}

struct Queries {
    std::string noteTypes;  // id, name, field name, field ord; by id, then ord
    std::string decks;      // id, name
};

const Queries kSchema11{
    "SELECT m.key, json_extract(m.value, '$.name'), json_extract(f.value, '$.name'), json_extract(f.value, '$.ord') "
    "FROM (SELECT models FROM col LIMIT 1) AS c, json_each(c.models) AS m, json_each(m.value, '$.flds') AS f "
    "ORDER BY CAST(m.key AS INTEGER), CAST(json_extract(f.value, '$.ord') AS INTEGER)",
    "SELECT d.key, json_extract(d.value, '$.name') FROM (SELECT decks FROM col LIMIT 1) AS c, json_each(c.decks) AS d"};
const Queries kSchema18{
    "SELECT t.id, t.name, f.name, f.ord FROM notetypes AS t JOIN fields AS f ON f.ntid = t.id ORDER BY t.id, f.ord",
    "SELECT id, name FROM decks"};

std::vector<std::string> splitFields(std::string_view flds) {
    const std::vector<std::string_view> fields = splitAt(flds, '\x1f');
    return {fields.begin(), fields.end()};
}

std::string joinedDeckName(std::string name, int schema) {
    if (schema != 18) return name;
    std::string joined;
    for (const char c : name) {
        if (c == '\x1f') joined += "::";
        else joined += c;
    }
    return joined;
}

Status readNoteTypes(const SqlRows& rows, AnkiCollection& collection) {
    for (const std::vector<std::string>& row : rows) {
        if (collection.noteTypes.empty() || collection.noteTypes.back().id != row[0])
            collection.noteTypes.push_back({row[0], row[1], {}, 0});
        collection.noteTypes.back().fields.push_back(row[2]);
    }
    return success();
}

Status readNotes(const SqlRows& notes, const SqlRows& firstCards, const SqlRows& decks, AnkiCollection& collection) {
    std::unordered_map<std::string, std::size_t> typeOf;
    for (std::size_t t = 0; t < collection.noteTypes.size(); ++t) typeOf.emplace(collection.noteTypes[t].id, t);
    std::unordered_map<std::string, std::string> deckNameOf;
    for (const std::vector<std::string>& row : decks) {
        deckNameOf.emplace(row[0], joinedDeckName(row[1], collection.schema));
        collection.decks.push_back({row[0], joinedDeckName(row[1], collection.schema), 0});
    }
    std::unordered_map<std::string, std::string> deckOfNote;
    for (const std::vector<std::string>& row : firstCards) deckOfNote.emplace(row[0], row[1]);
    for (const std::vector<std::string>& row : notes) {
        const auto deck = deckOfNote.find(row[0]);
        if (deck == deckOfNote.end()) continue;  // a note with no card is shown nowhere
        const auto type = typeOf.find(row[1]);
        if (type == typeOf.end()) {
            return fail(collectionReason(collection.entry, "is damaged: note " + inputExcerpt(row[0]) +
                                                               " is of note type " + inputExcerpt(row[1]) +
                                                               ", which the collection does not have"));
        }
        const auto deckName = deckNameOf.find(deck->second);
        if (deckName == deckNameOf.end()) {
            return fail(collectionReason(collection.entry, "is damaged: note " + inputExcerpt(row[0]) +
                                                               " has its first card in deck " +
                                                               inputExcerpt(deck->second) +
                                                               ", which the collection does not have"));
        }
        collection.notes.push_back({type->second, deckName->second, splitFields(row[2])});
    }
    return success();
}

// A deck and its subdecks: "A" holds "A" and "A::B", not "AB".
bool inDeck(std::string_view deck, std::string_view parent) {
    const std::string lower = lowerTrimmed(deck), wanted = lowerTrimmed(parent);
    return lower == wanted || (lower.size() > wanted.size() + 2 && lower.starts_with(wanted) &&
                               lower.compare(wanted.size(), 2, "::") == 0);
}

void countNotes(AnkiCollection& collection) {
    for (AnkiNoteType& type : collection.noteTypes) type.notes = 0;
    for (AnkiDeck& deck : collection.decks) deck.notes = 0;
    std::unordered_map<std::string, std::size_t> notesIn;
    for (const AnkiNote& note : collection.notes) {
        ++collection.noteTypes[note.noteType].notes;
        ++notesIn[note.deck];
    }
    for (AnkiDeck& deck : collection.decks)
        for (const auto& [name, notes] : notesIn)
            if (inDeck(name, deck.name)) deck.notes += notes;
    std::sort(collection.decks.begin(), collection.decks.end(),
              [](const AnkiDeck& a, const AnkiDeck& b) { return a.name < b.name; });
}

Result<Bytes> readCollectionEntry(ByteView bytes, const PackageLibraries& libraries, const ZipEntry& entry,
                                  std::size_t limit) {
    const std::string bomb = "is refused as a zip bomb: its entry " + entry.name + " would expand to more than " +
                             mebibytes(limit) + ", the most a collection is unpacked to";
    if (entry.size > limit) return fail(bomb);
    Result<Bytes> read = libraries.readEntry(bytes, entry.name, limit);
    if (!read && read.failureKind() == FailureKind::tooLarge) return fail(bomb);
    if (!read) return fail("cannot be read as an Anki package: its entry " + entry.name +
                           " cannot be unpacked, the zip archive is damaged");
    if (!entry.name.ends_with("b")) return read;
    Result<Bytes> expanded = libraries.decompressZstd(*read, limit);
    if (!expanded && expanded.failureKind() == FailureKind::tooLarge)
        return fail("is refused as a zip bomb: its collection " + entry.name + " would decompress to more than " +
                    mebibytes(limit) + ", the most a collection is unpacked to");
    if (!expanded) return fail(collectionReason(entry.name, "is no zstd frame that decompresses"));
    return expanded;
}

std::string fieldList(const AnkiNoteType& type) {
    std::string list;
    for (const std::string& field : type.fields) list += (list.empty() ? "" : ", ") + field;
    return list;
}

// A field as one cell of a tab-separated export line: a line break within
// it becomes a tab, which the HTML of a field reads as the same white
// space, so that each note stays on a line of its own, numbered as notes are.
std::string exportCell(std::string_view field) {
    std::string cell;
    bool quoted = false;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\r' && i + 1 < field.size() && field[i + 1] == '\n') continue;
        if (c == '\r' || c == '\n' || c == '\t') {
            cell += '\t';
            quoted = true;
        } else if (c == '"') {
            cell += "\"\"";
            quoted = true;
        } else {
            cell += c;
        }
    }
    quoted = quoted || (!cell.empty() && cell.front() == '#');
    return quoted ? "\"" + cell + "\"" : cell;
}

constexpr std::string_view kExportHeader = "#separator:tab\n#html:true\n#notetype column:1\n#deck column:2\n";

std::string exportLine(const AnkiCollection& collection, const AnkiNote& note, const std::vector<std::string>& fields) {
    std::string line = exportCell(collection.noteTypes[note.noteType].name);
    line += '\t';
    line += exportCell(note.deck);
    for (const std::string& field : fields) {
        line += '\t';
        line += exportCell(field);
    }
    line += '\n';
    return line;
}

// The six fields in the order of the export's default roles, and the group.
constexpr std::array kDefaultOrder{ColumnRole::short1, ColumnRole::longField, ColumnRole::short2,
                                   ColumnRole::short3, ColumnRole::short4,    ColumnRole::short5};

std::string roleName(ColumnRole role) {
    if (role == ColumnRole::longField) return "long";
    return "short" + std::to_string(static_cast<int>(role));
}

// "Word=short1,Kana=long,...": the note type's fields named with the roles
// they fill by default.
std::string defaultRolesOf(const AnkiNoteType& type) {
    std::string roles;
    for (std::size_t f = 0; f < type.fields.size() && f < kDefaultOrder.size(); ++f)
        roles += (roles.empty() ? "" : ",") + type.fields[f] + "=" + roleName(kDefaultOrder[f]);
    return roles;
}

// The roles of each note type's fields as named --columns give them.
Result<std::vector<std::vector<ColumnRole>>> fieldRoles(const AnkiCollection& collection,
                                                        const std::vector<NamedColumn>& named) {
    std::vector<std::vector<ColumnRole>> roles;
    std::vector<bool> used(named.size(), false);
    for (const AnkiNoteType& type : collection.noteTypes) {
        std::vector<ColumnRole>& of = roles.emplace_back(type.fields.size(), ColumnRole::skip);
        bool any = false;
        for (std::size_t n = 0; n < named.size(); ++n) {
            for (std::size_t f = 0; f < type.fields.size(); ++f) {
                if (lowerTrimmed(type.fields[f]) != lowerTrimmed(named[n].name)) continue;
                if (named[n].role != ColumnRole::skip &&
                    std::find(of.begin(), of.end(), named[n].role) != of.end()) {
                    return fail("--columns gives two fields of the note type '" + inputExcerpt(type.name) +
                                "' the same role; each field has one column");
                }
                of[f] = named[n].role;
                used[n] = true;
                any = true;
            }
        }
        if (!any && type.notes > 0) {
            return fail("--columns names none of the fields of the note type '" + inputExcerpt(type.name) + "' (" +
                        plural(type.notes, "note", "notes") + "), which are " + fieldList(type) +
                        ": name them too, each with its role (" + defaultRolesOf(type) +
                        " as without --columns), or build the other notes alone with --deck");
        }
    }
    for (std::size_t n = 0; n < named.size(); ++n) {
        if (used[n]) continue;
        std::string types;
        for (const AnkiNoteType& type : collection.noteTypes)
            if (type.notes > 0) types += (types.empty() ? "" : "; ") + type.name + ": " + fieldList(type);
        return fail("--columns names '" + inputExcerpt(named[n].name) +
                    "', and no note type has such a field; the fields are " + types);
    }
    return roles;
}


std::vector<std::string> arrangedFields(const AnkiNote& note, const std::vector<ColumnRole>& roles, bool groupColumn) {
    std::vector<std::string> arranged(kDefaultOrder.size() + (groupColumn ? 1 : 0));
    if (groupColumn) arranged.back() = note.deck;
    for (std::size_t f = 0; f < note.fields.size() && f < roles.size(); ++f) {
        if (roles[f] == ColumnRole::skip) continue;
        if (roles[f] == ColumnRole::group) {
            arranged.back() = note.fields[f];
            continue;
        }
        const auto at = std::find(kDefaultOrder.begin(), kDefaultOrder.end(), roles[f]);
        arranged[static_cast<std::size_t>(at - kDefaultOrder.begin())] = note.fields[f];
    }
    return arranged;
}

}  // namespace

bool looksLikeZip(std::string_view bytes) {
    return bytes.starts_with(std::string_view("PK\x03\x04", 4)) || bytes.starts_with(std::string_view("PK\x05\x06", 4));
}

bool isPackageName(std::string_view fileName) {
    const std::string extension = fileExtension(fileName);
    return extension == ".apkg" || extension == ".colpkg";
}

Result<AnkiCollection> readAnkiPackage(ByteView bytes, const PackageLibraries& libraries, std::size_t limit) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!looksLikeZip(text)) return fail("is not an Anki package: it is no zip archive");
    Result<std::vector<ZipEntry>> entries = libraries.listEntries(bytes);
    if (!entries) return fail("cannot be read as an Anki package: its zip archive is damaged");
    for (const ZipEntry& entry : *entries) {
        if (escapingName(entry.name))
            return fail("is refused: it holds an entry named '" + inputExcerpt(entry.name) +
                        "', which points outside the package (nothing is extracted from it anyway)");
    }
    const ZipEntry* chosen = nullptr;
    for (const std::string_view name : kCollections) {
        const auto found = std::find_if(entries->begin(), entries->end(),
                                        [&](const ZipEntry& entry) { return entry.name == name; });
        if (found != entries->end()) {
            chosen = &*found;
            break;
        }
    }
    if (!chosen)
        return fail("is not an Anki package: it holds no collection (collection.anki21b, collection.anki21 or "
                    "collection.anki2)");
    AnkiCollection collection;
    collection.entry = chosen->name;
    Result<Bytes> database = readCollectionEntry(bytes, libraries, *chosen, limit);
    KVZ_TRY(database);
    const std::string_view header(reinterpret_cast<const char*>(database->data()), database->size());
    if (!header.starts_with(kSqliteMagic) || database->size() < 100)
        return fail(collectionReason(collection.entry, "is no SQLite database"));
    // A database in write-ahead mode reads as one in rollback mode when it
    // has no -wal file beside it, as a copy never has.
    if ((*database)[18] == 2) (*database)[18] = 1;
    if ((*database)[19] == 2) (*database)[19] = 1;

    Result<SqlRows> integrity = libraries.query(*database, "PRAGMA integrity_check");
    if (!integrity || integrity->size() != 1 || integrity->front().size() != 1 || integrity->front()[0] != "ok")
        return fail(collectionReason(collection.entry, "fails its integrity check: the database is damaged"));
    Result<SqlRows> tables = runQuery(libraries, *database, collection.entry,
                                      "SELECT name FROM sqlite_master WHERE type = 'table'", "tables", 1);
    KVZ_TRY(tables);
    if (hasTables(*tables, {"notetypes", "fields", "decks", "notes", "cards"})) {
        collection.schema = 18;
    } else if (hasTables(*tables, {"col", "notes", "cards"})) {
        collection.schema = 11;
    } else {
        return fail(collectionReason(collection.entry, "is of no schema kvzdeck reads: it has neither the tables "
                                                       "notetypes, fields, decks, notes and cards (schema 18) nor "
                                                       "col, notes and cards (schema 11)"));
    }
    const Queries& queries = collection.schema == 18 ? kSchema18 : kSchema11;
    Result<SqlRows> types = runQuery(libraries, *database, collection.entry, queries.noteTypes, "note types", 4);
    KVZ_TRY(types);
    Result<SqlRows> decks = runQuery(libraries, *database, collection.entry, queries.decks, "decks", 2);
    KVZ_TRY(decks);
    Result<SqlRows> notes =
        runQuery(libraries, *database, collection.entry, "SELECT id, mid, flds FROM notes ORDER BY id", "notes", 3);
    KVZ_TRY(notes);
    // SQLite takes the did of the row whose ord is the least.
    Result<SqlRows> firstCards = runQuery(libraries, *database, collection.entry,
                                          "SELECT nid, did, min(ord) FROM cards GROUP BY nid", "cards", 3);
    KVZ_TRY(firstCards);
    KVZ_TRY(readNoteTypes(*types, collection));
    KVZ_TRY(readNotes(*notes, *firstCards, *decks, collection));
    countNotes(collection);
    return collection;
}

Result<AnkiCollection> keepDeck(AnkiCollection collection, std::string_view name) {
    const bool known = std::any_of(collection.decks.begin(), collection.decks.end(),
                                   [&](const AnkiDeck& deck) { return lowerTrimmed(deck.name) == lowerTrimmed(name); });
    if (!known) {
        std::string decks;
        for (const AnkiDeck& deck : collection.decks)
            if (deck.notes > 0) decks += (decks.empty() ? "" : ", ") + deck.name;
        return fail("--deck: the package has no deck '" + inputExcerpt(name) + "'; its decks with notes are " +
                    (decks.empty() ? "none" : decks));
    }
    std::erase_if(collection.notes, [&](const AnkiNote& note) { return !inDeck(note.deck, name); });
    countNotes(collection);
    if (collection.notes.empty()) return fail("--deck: the deck '" + inputExcerpt(name) + "' holds no note");
    return collection;
}

std::vector<std::string> describePackage(const AnkiCollection& collection) {
    std::vector<std::string> lines{"decks:"};
    for (const AnkiDeck& deck : collection.decks)
        if (deck.notes > 0) lines.push_back("  " + deck.name + " (" + plural(deck.notes, "note", "notes") + ")");
    lines.emplace_back("note types:");
    for (const AnkiNoteType& type : collection.noteTypes)
        if (type.notes > 0)
            lines.push_back("  " + type.name + " (" + plural(type.notes, "note", "notes") + "): " + fieldList(type));
    return lines;
}

std::vector<std::string> describeNoteTypes(const AnkiCollection& collection) {
    std::vector<std::string> lines;
    for (const AnkiNoteType& type : collection.noteTypes)
        if (type.notes > 0)
            lines.push_back("note type '" + type.name + "': " + plural(type.notes, "note", "notes") + ", fields " +
                            fieldList(type));
    return lines;
}

std::string plainTextExport(const AnkiCollection& collection) {
    std::string text(kExportHeader);
    for (const AnkiNote& note : collection.notes) text += exportLine(collection, note, note.fields);
    return text;
}

Result<DeckInput> readPackageInput(const AnkiCollection& collection, const DeckInputOptions& options) {
    if (options.separator != 0 || options.encoding || options.headerRow) {
        return fail("is an Anki package, whose notes have their fields: --separator, --encoding, --header and "
                    "--no-header are for tables");
    }
    if (collection.notes.empty()) return fail("holds no note; a deck needs at least one card");
    DeckInputOptions read = options;
    read.encoding = TextEncoding::utf8;
    if (!read.package) read.package.emplace();
    std::string text;
    if (options.namedColumns.empty()) {
        text = plainTextExport(collection);
    } else {
        Result<std::vector<std::vector<ColumnRole>>> roles = fieldRoles(collection, options.namedColumns);
        KVZ_TRY(roles);
        const bool groupColumn = std::any_of(options.namedColumns.begin(), options.namedColumns.end(),
                                             [](const NamedColumn& column) { return column.role == ColumnRole::group; });
        text = kExportHeader;
        for (const AnkiNote& note : collection.notes)
            text += exportLine(collection, note, arrangedFields(note, (*roles)[note.noteType], groupColumn));
        read.namedColumns.clear();
        read.columns.assign(kDefaultOrder.begin(), kDefaultOrder.end());
        if (groupColumn) read.columns.push_back(ColumnRole::group);
    }
    Result<DeckInput> input = readDeckInput(text, read);
    KVZ_TRY(input);
    input->form = DeckForm::ankiPackage;
    input->collection = collection.entry + ", schema " + std::to_string(collection.schema);
    return input;
}

}  // namespace kvz
