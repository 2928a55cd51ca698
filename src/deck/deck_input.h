// A deck from what users have: kvzdeck's own layout, or a table of one row
// per card (CSV or TSV from a spreadsheet, a flashcard program's plain-text
// export) in UTF-8, UTF-16 or CP932. Bytes in; the deck, its text in
// kvzdeck's own layout, and every problem, warning and change out. No file
// is touched, so the programs and the page call the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "deck/anki.h"
#include "deck/deck.h"
#include "deck/text_encoding.h"

namespace kvz {

// What a table's column fills: an entry field, the group, or nothing.
enum class ColumnRole : std::uint8_t { longField, short1, short2, short3, short4, short5, group, skip };

// The role a column name says, as --columns and header rows write them:
// "long", "short1" to "short5", "group", "-" (any case; "long field" and
// "short field 1" too). Nothing for another name.
std::optional<ColumnRole> columnRoleNamed(std::string_view name);

// The role named `name` in a --columns list, or the refusal that lists the
// names there are.
Result<ColumnRole> parseColumnRole(std::string_view name);

// The roles of a --columns list, "group,short1,short2,long,-". Refuses an
// unknown name and a role given twice (but "-" any number of times).
Result<std::vector<ColumnRole>> parseColumns(std::string_view list);

// A header cell given a role by its name: "word=short1".
struct NamedColumn {
    std::string name;  // as given, trimmed; matched trimmed and in any case
    ColumnRole role;
};

// A --columns list either way it is written: roles in the order of the
// columns ("short1,short2,long"), or header cells named with their roles
// in any order ("word=short1,meaning=long"). Refuses a list that mixes
// the two, an unknown role, a role or a header name given twice. With
// `rolePerNoteType` the names are an Anki package's fields, of one note
// type or another: a role may then be named again (Front=short1,Text=short1).
struct ColumnList {
    std::vector<ColumnRole> roles;
    std::vector<NamedColumn> named;
};
Result<ColumnList> parseColumnList(std::string_view list, bool rolePerNoteType = false);

// The role a header cell's name suggests: kvzdeck's own names, or common
// names in English and Japanese ("word", "単語" short1; "meaning", "意味"
// long; "reading", "読み" short2; "lesson", "課" group; "example", "例文"
// short3). Nothing for another name.
std::optional<ColumnRole> suggestedRoleOf(std::string_view headerCell);

// The values of kvzdeck build's --furigana, --group-size, --encoding,
// --replace and --separator as its command line and the page take them, or
// the refusal that names the option and what it takes. A replacement is one
// character that has a Shift_JIS form and is no control character.
Result<Furigana> parseFuriganaOption(std::string_view value);
Result<std::size_t> parseGroupSizeOption(std::string_view value);  // 1 to 65535 cards
Result<TextEncoding> parseEncodingOption(std::string_view value);
Result<char32_t> parseReplacementOption(std::string_view value);
Result<char32_t> parseSeparatorOption(std::string_view value);  // a name (tab, comma, ...) or one character

enum class DeckForm { ownLayout, table, flashcardExport, ankiPackage };

struct DeckInputOptions {
    std::string fileName;                 // its extension breaks a tie of separators found, its name a lone group's
    std::optional<TextEncoding> encoding; // nothing: detected
    char32_t separator = 0;               // 0: from the export's header, the first rows, or the extension
    std::vector<ColumnRole> columns;      // empty: from a header row, or the export's default
    std::vector<NamedColumn> namedColumns; // the header row's cells by name (then `columns` is empty)
    std::optional<bool> headerRow;        // --header, --no-header; nothing: a row of kvzdeck's names is one
    std::optional<Furigana> furigana;     // nothing: base for exports, untouched in tables
    std::size_t groupSize = 0;            // groups of this many cards (with a group column: in its order)
    bool decks = false;                   // more than 8 groups: a set of decks, 8 groups each
    DeckFixes fixes;
    // The deck to be written, for the commands that refusals suggest
    // ("kvzdeck build --header words.csv words.kvz"); empty: they name the
    // options alone.
    std::string deckName;
    // The text is an Anki package's notes, as a text export: the commands
    // that refusals suggest name the package's own --columns and --deck,
    // and no encoding.
    struct Package {
        std::string columns;  // as given
        std::string deck;     // --deck, or empty
    };
    std::optional<Package> package;
};

// The command that builds the deck with these options, as a refusal
// suggests it: "kvzdeck build OPTIONS INPUT DECK", each name quoted for a
// POSIX shell where it needs it; only the options when `deckName` is empty.
std::string buildCommand(const DeckInputOptions& options);

// kvzdeck build's options that give these options, before any quoting:
// {"--columns", "単語=short1,意味=long"}, {"--header", ""}, ... (the options
// of buildCommand, in its order).
struct BuildOption {
    std::string name;
    std::string value;  // empty for a flag
};
std::vector<BuildOption> buildOptions(const DeckInputOptions& options);

// The start of a text as kvzdeck build would read it with `options`: its
// form, and for a table the separator and its first row with the role each
// cell's name suggests. For a form in which a page offers a table's options.
struct TableHead {
    DeckForm form = DeckForm::ownLayout;
    char32_t separator = 0;        // of a table or an export
    bool separatorFound = false;   // from the first rows (see DeckInput)
    std::vector<std::string> firstRow;  // a table's, as its cells are written
    // suggestedRoleOf of each cell of the first row, each role to the first
    // column that suggests it, `skip` for the rest.
    std::vector<ColumnRole> suggested;
    bool namesItsColumns = false;  // the first row is in kvzdeck's own names: a header row as it is
};
// Refuses what readDeckInput refuses before it reads any row: bytes the
// encoding cannot read, a bad export header line, a KVZ deck given as text.
Result<TableHead> readTableHead(std::string_view bytes, const DeckInputOptions& options);

// `options` with the table's columns read as `roles` (one per column of
// `head.firstRow`; missing ones skipped) and the first row a header row or
// not: with a header row, its cells named with their roles where each
// named cell can be so named once ("単語=short1,意味=long"), else the roles
// in the order of the columns with --header; without, the roles with
// --no-header. A choice that gives no field leaves the columns unnamed, as
// `options` had them.
DeckInputOptions withColumnRoles(const TableHead& head, const std::vector<ColumnRole>& roles, bool headerRow,
                                 DeckInputOptions options);

// The name of a role as --columns writes it: "long", "short1" ... "short5",
// "group", "-".
std::string columnRoleName(ColumnRole role);

// The name --separator takes for a separator: "tab", "comma", "semicolon",
// ..., or the character itself.
std::string separatorName(char32_t separator);

struct DeckInput {
    DeckForm form = DeckForm::ownLayout;
    TextEncoding encoding = TextEncoding::utf8;
    char32_t separator = 0;  // of a table
    bool separatorFound = false;  // from the table's first rows, neither given nor in an export header
    std::size_t cards = 0;   // rows read as cards (a table's)
    std::string collection;  // of an Anki package: the entry read and its schema
    // The deck (check.kvz, empty while a problem remains) and what was found,
    // every line number the input's own.
    DeckCheck check;
    // The deck in kvzdeck's own layout: what `kvzdeck dump` writes of it, or,
    // while problems remain, the text that was checked (empty for a set).
    std::string ownLayout;
    // With `decks`: the set, each deck with the names of its groups, in the
    // order of the table's groups; check.kvz stays empty, and the problems,
    // warnings and changes of every deck are in check.
    struct Part {
        std::vector<std::string> groups;
        std::vector<std::uint8_t> kvz;
    };
    std::vector<Part> parts;
};

// The name of deck `part` (from 1) of a set: "lessons.kvz" gives
// "lessons-1.kvz", "out" gives "out-1".
std::string deckPartName(std::string_view deckName, std::size_t part);

// Reads `bytes` as the options say, in time linear in their length, marks that combine
// with the character before them composed first (composeCombiningMarks).
// Refuses, as a whole, a file whose bytes its encoding cannot read, an
// export header line whose value makes no sense (at its line), a table
// whose columns are named nowhere (showing its first row and the command
// its names suggest, and the --separator that would make it a header row)
// or whose header row names a field twice, a --columns header name the
// header row does not hold or holds twice, more than 8 groups without
// `decks` (naming the first, their count, and the commands that merge them
// or make a set), an input that holds no card (an empty file, a table or
// export with nothing below its header; kvzdeck's own layout of 8 group
// names and no entry is built as written), `decks` for kvzdeck's own
// layout, a KVZ deck given as text (FailureKind::notADeck). Everything else
// is in check, warnings among it: a row of column names read as a card, a
// guess between UTF-8 and CP932. A warning said of many lines is one
// warning, at the first, naming how many more and the first three. Input
// quoted in a message is cut as inputExcerpt cuts it.
Result<DeckInput> readDeckInput(std::string_view bytes, const DeckInputOptions& options);

// "kvzdeck's own layout", "a comma-separated table", "a semicolon-separated
// table (the separator found from its first rows)", "a flashcard export
// (tab-separated)", "an Anki package (collection.anki21b, schema 18)",
// each with its count of cards, for -v.
std::string describeDeckForm(const DeckInput& input);

// "2 fields cut, 1 character replaced", or empty when nothing changed.
std::string describeChanges(const DeckCheck& check);

// The text that fills a field with no column or an empty cell: an
// ideographic space, since the device cannot hold an empty text.
inline constexpr std::string_view kFieldFiller = "\u3000";

}  // namespace kvz
