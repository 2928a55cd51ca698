#include "deck/deck_input.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "common/file_names.h"
#include "common/text.h"
#include "deck/nfc.h"
#include "deck/table.h"
#include "deck/utf8.h"
#include "input/kvz.h"

namespace kvz {
namespace {

constexpr std::string_view kUnusedGroupName = "-";
constexpr std::string_view kIdeographicSpace = "\u3000";
// A flashcard note's fields: front to short field 1, back to the long field,
// more fields to short fields 2 to 5.
constexpr std::array<ColumnRole, kFieldsPerEntry> kNoteFieldRoles{ColumnRole::short1, ColumnRole::longField,
                                                                  ColumnRole::short2, ColumnRole::short3,
                                                                  ColumnRole::short4, ColumnRole::short5};

std::string roleName(ColumnRole role) {
    switch (role) {
        case ColumnRole::longField: return "long";
        case ColumnRole::group: return "group";
        case ColumnRole::skip: return "-";
        default: return "short" + std::to_string(static_cast<int>(role));
    }
}

struct CommonName {
    std::string_view name;  // in lower case
    ColumnRole role;
};

// The names people give their columns, and what such a column usually holds.
constexpr std::array kCommonNames{
    CommonName{"word", ColumnRole::short1},     CommonName{"expression", ColumnRole::short1},
    CommonName{"front", ColumnRole::short1},    CommonName{"単語", ColumnRole::short1},
    CommonName{"語彙", ColumnRole::short1},     CommonName{"漢字", ColumnRole::short1},
    CommonName{"meaning", ColumnRole::longField}, CommonName{"english", ColumnRole::longField},
    CommonName{"back", ColumnRole::longField},  CommonName{"意味", ColumnRole::longField},
    CommonName{"訳", ColumnRole::longField},    CommonName{"reading", ColumnRole::short2},
    CommonName{"kana", ColumnRole::short2},     CommonName{"読み", ColumnRole::short2},
    CommonName{"よみ", ColumnRole::short2},     CommonName{"ふりがな", ColumnRole::short2},
    CommonName{"lesson", ColumnRole::group},    CommonName{"group", ColumnRole::group},
    CommonName{"deck", ColumnRole::group},      CommonName{"category", ColumnRole::group},
    CommonName{"品詞", ColumnRole::group},      CommonName{"課", ColumnRole::group},
    CommonName{"example", ColumnRole::short3},  CommonName{"sentence", ColumnRole::short3},
    CommonName{"例文", ColumnRole::short3}};

// The name --separator takes for a separator.
std::string separatorOptionName(char32_t separator) {
    switch (separator) {
        case U'\t': return "tab";
        case U',': return "comma";
        case U';': return "semicolon";
        case U' ': return "space";
        case U'|': return "pipe";
        case U':': return "colon";
        default: break;
    }
    std::string name;
    appendUtf8(name, separator);
    return name;
}

// `text` as one word of a POSIX shell's command line: as it is when it
// holds nothing the shell reads specially, else in single quotes.
std::string shellQuoted(std::string_view text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 || std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("_./,=:+@%-").find(c) != std::string_view::npos;
    });
    if (plain && text.front() != '-') return std::string(text);
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string encodingOptionName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::utf16le: return "utf-16le";
        case TextEncoding::utf16be: return "utf-16be";
        case TextEncoding::cp932: return "cp932";
        default: return "utf-8";
    }
}

std::string columnsOptionValue(const DeckInputOptions& options) {
    std::string value;
    for (const ColumnRole role : options.columns) value += (value.empty() ? "" : ",") + roleName(role);
    for (const NamedColumn& column : options.namedColumns)
        value += (value.empty() ? "" : ",") + column.name + "=" + roleName(column.role);
    return value;
}

// `text` cut to the whole characters whose Shift_JIS fits `width` bytes;
// characters with no Shift_JIS form are dropped, spaces made ideographic.
std::string fitGroupName(std::string_view text, std::size_t width) {
    std::string out;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<Utf8Character> character = decodeUtf8(text.substr(i));
        if (!character) break;
        const char32_t codePoint = character->codePoint == ' ' ? U'\u3000' : character->codePoint;
        const std::optional<std::string> sjis = shiftJisOf(codePoint);
        i += character->length;
        if (!sjis || sjis->empty() || codePoint < 0x20) continue;
        if (bytes + sjis->size() > width) break;
        bytes += sjis->size();
        appendUtf8(out, codePoint);
    }
    return out;
}

std::size_t shiftJisLength(std::string_view text) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<Utf8Character> character = decodeUtf8(text.substr(i));
        if (!character) return bytes + text.size() - i;
        const std::optional<std::string> sjis = shiftJisOf(character->codePoint);
        bytes += sjis ? sjis->size() : 2;
        i += character->length;
    }
    return bytes;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A cell as a field of kvzdeck's own layout.
std::string escapeCell(std::string_view cell, bool lineStart) {
    if (cell.empty()) return std::string(kFieldFiller);
    std::string out;
    for (const char c : cell) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t' || c == '\n' || c == '\r') {
            out += ' ';
        } else {
            out += c;
        }
    }
    if (lineStart && out.front() == '#') out.insert(0, "\\");
    return out;
}

// What the table says, before it is laid out as a deck.
struct Card {
    std::size_t line = 0;
    std::array<std::string, kFieldsPerEntry> fields;
    std::string group;  // empty: none given
    std::size_t groupIndex = 0;
};

struct Layout {
    std::vector<ColumnRole> roles;
    bool skipFirstRow = false;
};

bool allRoleNames(const TableRow& row) {
    bool anyField = false;
    for (const std::string& cell : row.cells) {
        if (cell.empty()) continue;
        const std::optional<ColumnRole> role = columnRoleNamed(cell);
        if (!role) return false;
        anyField = anyField || (*role != ColumnRole::group && *role != ColumnRole::skip);
    }
    return anyField;
}

// The row as it was written, as much of it as a message can quote.
std::string joinCells(const TableRow& row, char32_t separator) {
    constexpr std::size_t kEnoughBytes = 4 * (kExcerptCharacters + 1);
    std::string joined;
    for (std::size_t i = 0; i < row.cells.size() && joined.size() <= kEnoughBytes; ++i) {
        if (i > 0) appendUtf8(joined, separator);
        joined.append(row.cells[i], 0, kEnoughBytes);
    }
    return joined;
}

std::size_t characterCount(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// "a, b, c, ...": the first names, whole, as many as a message quotes.
std::string listOfNames(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        const std::string quoted = inputExcerpt(name);
        if (!list.empty() && characterCount(list) + 2 + characterCount(quoted) > kExcerptCharacters) return list + ", ...";
        if (!list.empty()) list += ", ";
        list += quoted;
    }
    return list;
}

std::string trimmedText(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return std::string(text);
}

// The longest header cell that a suggested --columns names.
constexpr std::size_t kLongestNamedCell = 30;

bool nameable(std::string_view cell) {
    const std::string name = trimmedText(cell);
    return !name.empty() && characterCount(name) <= kLongestNamedCell &&
           name.find_first_of(",=\"'\\") == std::string::npos &&
           std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// The roles the first row's names suggest, each role to its first column.
std::vector<ColumnRole> suggestedRoles(const TableRow& first) {
    std::vector<ColumnRole> roles;
    for (const std::string& cell : first.cells) {
        ColumnRole role = suggestedRoleOf(cell).value_or(ColumnRole::skip);
        if (std::find(roles.begin(), roles.end(), role) != roles.end()) role = ColumnRole::skip;
        roles.push_back(role);
    }
    return roles;
}

bool givesAField(const std::vector<ColumnRole>& roles) {
    return std::any_of(roles.begin(), roles.end(),
                       [](ColumnRole role) { return role != ColumnRole::skip && role != ColumnRole::group; });
}

// The options that read `first` as a header row whose columns have
// `roles`: its cells named with their roles, and the other cells named -
// as long as the list stays short; where a cell with a role cannot be named
// (a name --columns cannot write, or one the row holds twice), the roles in
// the order of the columns with --header.
DeckInputOptions headerOptions(const TableRow& first, const std::vector<ColumnRole>& roles, DeckInputOptions options) {
    options.columns.clear();
    options.namedColumns.clear();
    options.headerRow.reset();
    std::unordered_map<std::string, std::size_t> timesWritten;
    for (const std::string& cell : first.cells) ++timesWritten[lowerTrimmed(cell)];
    const auto nameableOnce = [&](const std::string& cell) {
        return nameable(cell) && timesWritten[lowerTrimmed(cell)] == 1;
    };
    for (std::size_t c = 0; c < roles.size() && c < first.cells.size(); ++c) {
        if (roles[c] != ColumnRole::skip && !nameableOnce(first.cells[c])) {
            options.columns = roles;
            options.headerRow = true;
            return options;
        }
    }
    constexpr std::size_t kLongestList = 120;
    std::size_t length = 0;
    for (std::size_t c = 0; c < roles.size() && c < first.cells.size(); ++c) {
        const bool listed = roles[c] != ColumnRole::skip ||
                            (nameableOnce(first.cells[c]) && length + first.cells[c].size() < kLongestList);
        if (!listed) continue;
        options.namedColumns.push_back({trimmedText(first.cells[c]), roles[c]});
        length += first.cells[c].size() + 8;
    }
    return options;
}

// How many groups the column would name: its distinct cells below the
// header row, an empty one taking the one above.
std::size_t groupsOfColumn(const std::vector<TableRow>& rows, std::size_t column) {
    std::unordered_set<std::string_view> names;
    for (std::size_t r = 1; r < rows.size(); ++r)
        if (column < rows[r].cells.size() && !rows[r].cells[column].empty()) names.insert(rows[r].cells[column]);
    return names.size();
}

std::string noColumnsReason(const std::vector<TableRow>& rows, char32_t separator, const DeckInputOptions& options) {
    const TableRow& first = rows.front();
    const std::string joined = joinCells(first, separator);
    const bool zeroBytes = joined.find('\0') != std::string::npos;
    std::string reason = std::to_string(first.line) + ": the table names none of its columns; its first row is \"" +
                         inputExcerpt(joined) + "\": ";
    const std::vector<ColumnRole> roles = suggestedRoles(first);
    if (options.headerRow != false && givesAField(roles)) {
        DeckInputOptions header = headerOptions(first, roles, options);
        // A header row naming more lessons than a deck holds: the command makes a set of them.
        const auto groupColumn = std::find(roles.begin(), roles.end(), ColumnRole::group);
        const std::size_t groups =
            groupColumn == roles.end() ? 0 : groupsOfColumn(rows, static_cast<std::size_t>(groupColumn - roles.begin()));
        const bool set = groups > kGroupCount && options.groupSize == 0;
        header.decks = header.decks || set;
        reason += "to read it as the header row, " + std::string(options.deckName.empty() ? "give " : "run ") +
                  buildCommand(header) + " (each role one of long, short1 to short5, group, and - for a column to skip)";
        if (set) {
            header.decks = false;
            header.groupSize = (rows.size() - 1 + kGroupCount - 1) / kGroupCount;
            reason += "; its " + std::to_string(groups) + " groups make " +
                      std::to_string((groups + kGroupCount - 1) / kGroupCount) +
                      " decks of 8 groups, or with --group-size " + std::to_string(header.groupSize) +
                      " instead of --decks one deck of 8 groups merged in their order";
        }
    } else {
        DeckInputOptions example = options;
        example.columns.clear();
        for (std::size_t i = 0; i < first.cells.size() && i < kNoteFieldRoles.size(); ++i)
            example.columns.push_back(kNoteFieldRoles[i]);
        reason += "name them with --columns in the order of the columns, e.g. " + buildCommand(example) +
                  " (long, short1 to short5, group, and - for a column to skip), or write these names in a header row";
        if (separator == '\t') reason += "; a deck in kvzdeck's own layout starts with a group name (a line with no tab)";
    }
    if (zeroBytes) {
        reason += "; the row holds zero bytes, as a UTF-16 text without a byte order mark does: give "
                  "--encoding utf-16le or utf-16be";
    }
    return reason;
}

// The roles of the header row's cells as --columns names them; the row is no card.
Result<Layout> namedLayout(const TableRow& header, const DeckInputOptions& options, char32_t separator) {
    Layout layout{std::vector<ColumnRole>(header.cells.size(), ColumnRole::skip), true};
    for (const NamedColumn& column : options.namedColumns) {
        const std::string wanted = lowerTrimmed(column.name);
        std::size_t found = 0;  // from 1
        for (std::size_t c = 0; c < header.cells.size(); ++c) {
            if (lowerTrimmed(header.cells[c]) != wanted) continue;
            if (found != 0) {
                return fail(std::to_string(header.line) + ": --columns names '" + inputExcerpt(column.name) +
                            "', and the header row holds it twice, in columns " + std::to_string(found) + " and " +
                            std::to_string(c + 1) + "; give the roles in the order of the columns instead");
            }
            found = c + 1;
            layout.roles[c] = column.role;
        }
        if (found == 0) {
            return fail(std::to_string(header.line) + ": --columns names '" + inputExcerpt(column.name) +
                        "', and the header row \"" + inputExcerpt(joinCells(header, separator)) +
                        "\" has no such cell; name its cells as they are written there");
        }
    }
    return layout;
}

Result<Layout> layoutOf(const std::vector<TableRow>& rows, const DeckInputOptions& options, char32_t separator) {
    if (rows.empty()) return Layout{};
    const TableRow& first = rows.front();
    if (!options.namedColumns.empty()) return namedLayout(first, options, separator);
    const bool header = options.headerRow.value_or(allRoleNames(first));
    if (!options.columns.empty()) return Layout{options.columns, header};
    if (header && allRoleNames(first)) {
        Layout layout{{}, true};
        std::array<std::size_t, static_cast<std::size_t>(ColumnRole::skip)> columnOf{};  // from 1; 0: none yet
        for (const std::string& cell : first.cells) {
            const ColumnRole role = cell.empty() ? ColumnRole::skip : *columnRoleNamed(cell);
            layout.roles.push_back(role);
            if (role == ColumnRole::skip) continue;
            std::size_t& earlier = columnOf[static_cast<std::size_t>(role)];
            if (earlier != 0) {
                return fail(std::to_string(first.line) + ": the header row names '" + roleName(role) +
                            "' twice, in columns " + std::to_string(earlier) + " and " +
                            std::to_string(layout.roles.size()) +
                            "; each field has one column: name the other one -, or give --columns");
            }
            earlier = layout.roles.size();
        }
        return layout;
    }
    return fail(noColumnsReason(rows, separator, options));
}

// Whether every cell of the row is the name of a column, as a header row's are.
bool looksLikeHeaderRow(const TableRow& row) {
    std::size_t names = 0;
    for (const std::string& cell : row.cells) {
        if (cell.empty()) continue;
        if (!suggestedRoleOf(cell)) return false;
        ++names;
    }
    return names >= 2;
}

// A flashcard export's columns: guid, notetype and tags skipped, the deck
// column the group, the note's fields by the given roles or the default.
Layout exportLayout(const ExportHeader& header, const std::vector<TableRow>& rows, const DeckInputOptions& options) {
    std::size_t columns = 0;
    for (const TableRow& row : rows) columns = std::max(columns, row.cells.size());
    Layout layout;
    std::size_t noteField = 0;
    const bool groupGiven = std::find(options.columns.begin(), options.columns.end(), ColumnRole::group) !=
                            options.columns.end();
    for (std::size_t column = 1; column <= columns; ++column) {
        if (column == header.deckColumn) {
            layout.roles.push_back(groupGiven ? ColumnRole::skip : ColumnRole::group);
        } else if (column == header.guidColumn || column == header.notetypeColumn || column == header.tagsColumn) {
            layout.roles.push_back(ColumnRole::skip);
        } else {
            const auto& roles = options.columns;
            layout.roles.push_back(!roles.empty() ? (noteField < roles.size() ? roles[noteField] : ColumnRole::skip)
                                   : noteField < kNoteFieldRoles.size() ? kNoteFieldRoles[noteField]
                                                                        : ColumnRole::skip);
            ++noteField;
        }
    }
    return layout;
}

struct TextRules {
    bool html = false;
    bool cloze = false;
    std::optional<Furigana> furigana;
};

std::string cellText(std::string_view cell, const TextRules& rules) {
    std::string text = rules.cloze ? removeCloze(cell) : std::string(cell);
    if (rules.html) return htmlFieldText(text, rules.furigana.value_or(Furigana::base));
    if (rules.furigana) text = applyFurigana(text, *rules.furigana);
    return text;
}

class DeckLayout {
public:
    DeckLayout(const DeckInputOptions& options, DeckCheck& check) : options_(options), check_(check) {}

    void addCards(const std::vector<TableRow>& rows, const Layout& layout, const TextRules& rules, bool exportDecks,
                  char32_t separator) {
        const bool groupColumn =
            std::find(layout.roles.begin(), layout.roles.end(), ColumnRole::group) != layout.roles.end();
        std::string lastGroup;
        for (std::size_t r = layout.skipFirstRow ? 1 : 0; r < rows.size(); ++r) {
            if (!rules.cloze) warnOfHeaderRow(rows[r], r == 0, separator);
            Card card{rows[r].line, {}, {}};
            for (std::size_t c = 0; c < rows[r].cells.size() && c < layout.roles.size(); ++c) {
                const ColumnRole role = layout.roles[c];
                if (role == ColumnRole::skip) continue;
                std::string text = cellText(rows[r].cells[c], rules);
                if (role == ColumnRole::group) {
                    card.group = exportDecks ? exportGroupName(text, card.line) : plainGroupName(text, card.line);
                    hasGroupColumn_ = true;
                } else {
                    card.fields[static_cast<std::size_t>(role)] = std::move(text);
                }
            }
            if (groupColumn) {
                hasGroupColumn_ = true;
                // A group written only on the first row of its cards holds for the rows below.
                if (card.group.empty()) card.group = lastGroup;
                if (card.group.empty()) problem(card.line, "the group cell is empty, and no row above names a group; "
                                                           "write the group's name in it");
                lastGroup = card.group;
            }
            cards_.push_back(std::move(card));
        }
    }

    // Groups by the group column, by --group-size (of the cards in the order
    // of their groups, when there is a group column too), or one named after
    // the file. More than 8 only for a set of decks.
    Status assignGroups() {
        std::vector<std::string> lessons;
        if (hasGroupColumn_) {
            std::unordered_map<std::string_view, std::size_t> indexOf;
            for (Card& card : cards_) {
                if (card.group.empty()) continue;
                const auto [found, added] = indexOf.emplace(card.group, lessons.size());
                if (added) lessons.push_back(card.group);
                card.groupIndex = found->second;
            }
            if (options_.groupSize == 0) {
                groups_ = std::move(lessons);
                if (groups_.size() > kGroupCount && !options_.decks) return fail(tooManyGroupsReason());
                return success();
            }
            std::stable_sort(cards_.begin(), cards_.end(),
                             [](const Card& a, const Card& b) { return a.groupIndex < b.groupIndex; });
        }
        const std::size_t size = options_.groupSize;
        const std::size_t count = size == 0 ? 1 : std::max<std::size_t>(1, (cards_.size() + size - 1) / size);
        if (count > kGroupCount && !options_.decks) {
            return fail("--group-size " + std::to_string(size) + " makes " + std::to_string(count) + " groups of the " +
                        std::to_string(cards_.size()) + " cards, and a deck holds 8: give --group-size " +
                        std::to_string((cards_.size() + kGroupCount - 1) / kGroupCount) + " or more");
        }
        std::string stem = fileStemName(options_.fileName);
        for (std::size_t g = 0; g < count; ++g) {
            if (!lessons.empty()) {
                const std::size_t last = std::min(cards_.size(), (g + 1) * size) - 1;
                groups_.push_back(mergedGroupName(lessons[cards_[g * size].groupIndex], lessons[cards_[last].groupIndex]));
                continue;
            }
            const std::string number = count == 1 ? "" : "-" + std::to_string(g + 1);
            std::string name = fitGroupName(stem, kGroupNameWidth - number.size()) + number;
            if (name.empty()) name = "deck";
            groups_.push_back(name);
        }
        for (std::size_t c = 0; c < cards_.size(); ++c) cards_[c].groupIndex = size == 0 ? 0 : c / size;
        return success();
    }

    std::size_t groupCount() const { return groups_.size(); }
    const std::vector<std::string>& groups() const { return groups_; }

    // The cards of each group, in their order.
    std::vector<std::vector<const Card*>> cardsByGroup() const {
        std::vector<std::vector<const Card*>> cardsOf(std::max(groups_.size(), kGroupCount));
        for (const Card& card : cards_)
            if (card.groupIndex < cardsOf.size() && (!hasGroupColumn_ || !card.group.empty()))
                cardsOf[card.groupIndex].push_back(&card);
        return cardsOf;
    }

    // The deck of the 8 groups from `firstGroup` on in kvzdeck's own layout,
    // and the input line of each of its lines.
    std::string ownLayout(std::vector<std::size_t>& sourceLines, const std::vector<std::vector<const Card*>>& cardsOf,
                          std::size_t firstGroup = 0) const {
        std::string tsv;
        for (std::size_t g = firstGroup; g < firstGroup + kGroupCount; ++g) {
            const bool used = g < groups_.size();
            const std::string name = used ? groups_[g] : std::string(kUnusedGroupName);
            tsv += escapeCell(name, true) + "\n";
            const std::vector<const Card*> none;
            const std::vector<const Card*>& cards = g < cardsOf.size() ? cardsOf[g] : none;
            sourceLines.push_back(cards.empty() ? 1 : cards.front()->line);
            for (const Card* card : cards) {
                for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
                    if (f > 0) tsv += '\t';
                    tsv += escapeCell(card->fields[f], f == 0);
                }
                tsv += '\n';
                sourceLines.push_back(card->line);
            }
        }
        return tsv;
    }

    std::size_t cards() const { return cards_.size(); }

private:
    std::string tooManyGroupsReason() const {
        const std::size_t parts = (groups_.size() + kGroupCount - 1) / kGroupCount;
        DeckInputOptions merged = options_;
        merged.groupSize = (cards_.size() + kGroupCount - 1) / kGroupCount;
        DeckInputOptions split = options_;
        split.decks = true;
        const std::string how = options_.deckName.empty() ? "give " : "run ";
        std::string decks = "one deck of each 8 groups in their order";
        if (!options_.deckName.empty())
            decks += ", " + deckPartName(options_.deckName, 1) + " to " + deckPartName(options_.deckName, parts);
        return "the group column names " + std::to_string(groups_.size()) + " groups, and a deck holds 8: " +
               listOfNames(groups_) + "; to merge them into 8 groups of " + std::to_string(merged.groupSize) +
               " cards in their order, " + how + buildCommand(merged) + "; to make " + decks + ", " + how +
               buildCommand(split);
    }

    // A group of the cards of the lessons `first` to `last`: "第1課～第4課",
    // or the one lesson's name, cut to fit.
    static std::string mergedGroupName(const std::string& first, const std::string& last) {
        if (first == last) return fitGroupName(first, kGroupNameWidth);
        constexpr std::string_view kRange = "\uFF5E";  // ～, 2 bytes in Shift_JIS
        const std::string whole = first + std::string(kRange) + last;
        if (shiftJisLength(whole) <= kGroupNameWidth) return whole;
        const std::size_t half = (kGroupNameWidth - 2) / 2;
        return fitGroupName(first, half) + std::string(kRange) + fitGroupName(last, half);
    }

    void warnOfHeaderRow(const TableRow& row, bool first, char32_t separator) {
        if (!looksLikeHeaderRow(row) || (first && options_.headerRow == false)) return;
        std::string text = "warning: the row \"" + inputExcerpt(joinCells(row, separator)) +
                           "\" was read as a card, though each of its cells names a column, as a header row's do";
        if (first) {
            DeckInputOptions skipping = options_;
            skipping.headerRow = true;
            text += std::string("; if it is the header row, ") + (options_.deckName.empty() ? "give " : "run ") +
                    buildCommand(skipping);
        } else {
            text += "; if it is one, remove it";
        }
        check_.warnings.push_back({row.line, std::move(text)});
    }

    void problem(std::size_t line, std::string reason) {
        if (check_.problems.size() < kProblemsListed) check_.problems.push_back({line, std::move(reason)});
        ++check_.problemCount;
    }

    // Spaces, and the tabs and line breaks a quoted cell may hold, would end
    // a group name: each becomes an ideographic space.
    std::string plainGroupName(const std::string& text, std::size_t line) {
        if (text.find_first_of(" \t\r\n") == std::string::npos) return text;
        check_.warnings.push_back({line, "warning: group name '" + inputExcerpt(text) +
                                             "' holds spaces, which would end it: written with full-width spaces"});
        std::string spaced = text;
        for (const char space : std::string_view("\t\r\n")) std::replace(spaced.begin(), spaced.end(), space, ' ');
        return replaceAll(spaced, " ", kIdeographicSpace);
    }

    // The last part of "A::B", made to fit a group name.
    std::string exportGroupName(const std::string& deck, std::size_t line) {
        const std::size_t parent = deck.rfind("::");
        const std::string last = parent == std::string::npos ? deck : deck.substr(parent + 2);
        const std::string spaced = plainGroupName(last, line);
        if (shiftJisLength(spaced) <= kGroupNameWidth) return spaced;
        std::string cut = fitGroupName(spaced, kGroupNameWidth);
        if (cutWarned_.insert(deck).second) {
            check_.warnings.push_back({line, "warning: group name: the deck '" + inputExcerpt(deck) + "' is cut to '" +
                                                 cut + "', to fit the 16 bytes of a group name"});
        }
        return cut;
    }

    const DeckInputOptions& options_;
    DeckCheck& check_;
    std::vector<Card> cards_;
    std::vector<std::string> groups_;
    std::unordered_set<std::string> cutWarned_;
    bool hasGroupColumn_ = false;
};

// Own layout: its first line that is neither empty nor a comment is a group
// name, a line with no tab. Lines end in LF, CR LF or CR.
bool looksLikeOwnLayout(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        if (!line.empty() && line.front() != '#') return line.find('\t') == std::string_view::npos;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return true;
}

// The text after the comment and empty lines at its start.
std::string_view afterComments(std::string_view text) {
    while (!text.empty() && (text.front() == '#' || text.front() == '\n' || text.front() == '\r')) {
        const std::size_t end = text.find_first_of("\r\n");
        if (end == std::string_view::npos) return {};
        text.remove_prefix(end + 1);
    }
    return text;
}

// kvzdeck's own layout as its lines show it: among the first lines that are
// neither empty nor comments, entries (five tabs) and group names (none) only,
// and an entry among them.
bool shapedLikeOwnLayout(std::string_view text) {
    constexpr std::size_t kLinesLooked = 20;
    bool entry = false;
    for (std::size_t looked = 0; looked < kLinesLooked && !text.empty();) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line == "\r" || line.front() == '#') continue;
        ++looked;
        const auto tabs = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
        if (tabs != 0 && tabs != kFieldsPerEntry - 1) return false;
        entry = entry || tabs != 0;
    }
    return entry;
}

// A table whose rows another separator splits alike, not kvzdeck's own
// layout, whose group names are lines of one cell.
bool splitLikeATable(std::string_view text) {
    if (shapedLikeOwnLayout(text)) return false;
    const char32_t found = findSeparator(afterComments(text), 0, 2);
    return found != 0 && found != U'\t';
}

void renumber(std::vector<DeckMessage>& messages, const std::vector<std::size_t>& sourceLines) {
    for (DeckMessage& message : messages)
        if (message.line >= 1 && message.line <= sourceLines.size()) message.line = sourceLines[message.line - 1];
}

// A deck that was built is offered as dump writes it: with every cut and
// replacement made, so that building that text gives the same deck again.
Status layOutBuiltDeck(DeckInput& input) {
    if (input.check.kvz.empty()) return success();
    Result<std::string> dumped = dumpKvz(input.check.kvz);
    KVZ_TRY(dumped);
    input.ownLayout = std::move(*dumped);
    return success();
}

// "the same on lines 3, 4 and 5", or on many: "the same on 59999 more
// lines: 3, 4, 5, ...".
std::string sameOnLines(const std::vector<std::size_t>& lines) {
    constexpr std::size_t kLinesNamed = 3;
    if (lines.size() == 1) return "the same on line " + std::to_string(lines.front());
    std::string named;
    for (std::size_t i = 0; i < lines.size() && i < kLinesNamed; ++i) {
        if (i > 0) named += i + 1 == lines.size() ? " and " : ", ";
        named += std::to_string(lines[i]);
    }
    if (lines.size() <= kLinesNamed) return "the same on lines " + named;
    return "the same on " + std::to_string(lines.size()) + " more lines: " + named + ", ...";
}

// A warning said of many lines is said once, at the first of them, with
// how many more there are and which.
void mergeRepeatedWarnings(std::vector<DeckMessage>& warnings) {
    std::unordered_map<std::string_view, std::size_t> firstOfText;
    std::vector<std::vector<std::size_t>> linesOf;  // by first occurrence
    std::vector<std::size_t> firsts;
    for (std::size_t i = 0; i < warnings.size(); ++i) {
        const auto [found, added] = firstOfText.emplace(warnings[i].text, firsts.size());
        if (added) {
            firsts.push_back(i);
            linesOf.emplace_back();
        }
        linesOf[found->second].push_back(warnings[i].line);
    }
    std::vector<DeckMessage> merged;
    for (std::size_t k = 0; k < firsts.size(); ++k) {
        std::vector<std::size_t>& lines = linesOf[k];
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        DeckMessage message{lines.front(), std::move(warnings[firsts[k]].text)};
        if (lines.size() > 1) message.text += "; " + sameOnLines(std::vector(lines.begin() + 1, lines.end()));
        merged.push_back(std::move(message));
    }
    warnings = std::move(merged);
}

// Why a table or an export of no card is no deck: what it held instead.
// (kvzdeck's own layout names its groups itself, and a deck of group names
// only is built as written, as dump writes it.)
std::string noCardReason(DeckForm form) {
    if (form == DeckForm::flashcardExport)
        return "holds no card: the export has its header lines and no note below them; a deck needs at least one card";
    return "holds no card: the table has no row below its header; a deck needs at least one card";
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// "; read with --separator semicolon, its first row names its columns: run
// ...", where another separator makes the first row a header row.
std::string anotherSeparatorNamesTheColumns(std::string_view body, char32_t used, const DeckInputOptions& options) {
    const std::string_view firstLine = body.substr(0, body.find_first_of("\r\n"));
    for (const char32_t separator : kFoundSeparators) {
        if (separator == used) continue;
        const Table table = readTable(firstLine, separator);
        if (table.rows.empty() || table.rows.front().cells.size() < 2) continue;
        const TableRow& first = table.rows.front();
        DeckInputOptions other = options;
        other.separator = separator;
        const std::vector<ColumnRole> roles = suggestedRoles(first);
        if (!allRoleNames(first) && !givesAField(roles)) continue;
        const DeckInputOptions fixed = allRoleNames(first) ? other : headerOptions(first, roles, other);
        return "; read with --separator " + separatorOptionName(separator) + ", its first row names its columns: " +
               (options.deckName.empty() ? "give " : "run ") + buildCommand(fixed);
    }
    return "";
}

void renumberAll(DeckCheck& check, const std::vector<std::size_t>& sourceLines) {
    renumber(check.problems, sourceLines);
    renumber(check.warnings, sourceLines);
    renumber(check.changes, sourceLines);
    for (std::size_t& line : check.entryLines)
        if (line >= 1 && line <= sourceLines.size()) line = sourceLines[line - 1];
}

// A set of decks, 8 groups each: every deck checked, what each found in `input.check`.
Status checkParts(const DeckLayout& deck, const DeckFixes& fixes, DeckInput& input) {
    DeckCheck& all = input.check;
    const auto cardsOf = deck.cardsByGroup();
    for (std::size_t first = 0; first < deck.groupCount(); first += kGroupCount) {
        std::vector<std::size_t> sourceLines;
        Result<DeckCheck> checked = checkDeck(deck.ownLayout(sourceLines, cardsOf, first), fixes);
        KVZ_TRY(checked);
        renumberAll(*checked, sourceLines);
        for (DeckMessage& problem : checked->problems)
            if (all.problems.size() < kProblemsListed) all.problems.push_back(std::move(problem));
        all.problemCount += checked->problemCount;
        std::move(checked->warnings.begin(), checked->warnings.end(), std::back_inserter(all.warnings));
        std::move(checked->changes.begin(), checked->changes.end(), std::back_inserter(all.changes));
        all.cutFields += checked->cutFields;
        all.replacedCharacters += checked->replacedCharacters;
        const auto groups = deck.groups().begin() + static_cast<std::ptrdiff_t>(first);
        const std::size_t held = std::min(kGroupCount, deck.groupCount() - first);
        input.parts.push_back({std::vector<std::string>(groups, groups + static_cast<std::ptrdiff_t>(held)),
                               std::move(checked->kvz)});
    }
    std::stable_sort(all.changes.begin(), all.changes.end(),
                     [](const DeckMessage& a, const DeckMessage& b) { return a.line < b.line; });
    return success();
}

// Bytes that read as UTF-8 and as CP932 alike were taken as UTF-8: said at
// the line of the first that is not ASCII.
void warnOfAGuessedEncoding(std::string_view bytes, const DeckInputOptions& options, const DeckInput& input,
                            DeckCheck& check) {
    if (options.encoding || input.encoding != TextEncoding::utf8 || !readableAsUtf8AndCp932(bytes)) return;
    std::size_t line = 1;
    for (std::size_t i = 0; i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80; ++i)
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))) ++line;
    check.warnings.insert(check.warnings.begin(),
                          {line, "warning: the text reads as UTF-8 and as CP932 (Shift_JIS) alike, and was read as "
                                 "UTF-8; if it was saved as CP932, give --encoding cp932"});
}

// The separator of a table: given, in its export header, found from its
// first rows (then `found`), or the one its extension names.
char32_t separatorOf(std::string_view body, const ExportHeader& header, const DeckInputOptions& options, bool& found) {
    const char32_t byExtension = fileExtension(options.fileName) == ".csv" ? U',' : U'\t';
    const char32_t fromRows = options.separator || header.separator ? 0 : findSeparator(body, byExtension);
    found = fromRows != 0;
    return options.separator ? options.separator : header.separator ? header.separator : fromRows ? fromRows : byExtension;
}

// Whether `text` is read as a table (or an export) rather than in kvzdeck's
// own layout.
bool readAsTable(std::string_view text, const ExportHeader& header, const DeckInputOptions& options) {
    return options.separator != 0 || !options.columns.empty() || !options.namedColumns.empty() ||
           options.headerRow.has_value() || options.groupSize != 0 || fileExtension(options.fileName) == ".csv" ||
           header.present || !looksLikeOwnLayout(text) || splitLikeATable(text);
}

Result<DeckInput> readTableInput(const std::string& text, const ExportHeader& header, const DeckInputOptions& options,
                                 DeckInput input) {
    const bool flashcards = header.present;
    input.form = flashcards ? DeckForm::flashcardExport : DeckForm::table;
    const std::string_view body = std::string_view(text).substr(header.bodyStart);
    input.separator = separatorOf(body, header, options, input.separatorFound);
    // A package's notes are numbered from 1, each on a line of its own.
    const std::size_t firstLine = options.package ? 1 : header.lines + 1;
    Table table = readTable(std::string_view(text).substr(header.bodyStart), input.separator, firstLine);
    DeckCheck tableCheck;
    for (TableProblem& problem : table.problems) tableCheck.problems.push_back({problem.line, std::move(problem.reason)});
    tableCheck.problemCount = tableCheck.problems.size();

    Layout layout;
    if (flashcards && !options.namedColumns.empty()) {
        return fail("is a flashcard export, whose notes have no header row to name: give --columns the roles of "
                    "the note's fields in their order, e.g. --columns short1,long");
    }
    if (flashcards) {
        layout = exportLayout(header, table.rows, options);
    } else {
        Result<Layout> named = layoutOf(table.rows, options, input.separator);
        if (!named && options.columns.empty() && options.namedColumns.empty())
            return fail(named.reason() + anotherSeparatorNamesTheColumns(body, input.separator, options));
        KVZ_TRY(named);
        layout = std::move(*named);
    }
    const TextRules rules{header.html, flashcards,
                          flashcards ? std::optional(options.furigana.value_or(Furigana::base)) : options.furigana};
    DeckLayout deck(options, tableCheck);
    deck.addCards(table.rows, layout, rules, flashcards && header.deckColumn.has_value(), input.separator);
    input.cards = deck.cards();
    if (input.cards == 0 && tableCheck.problemCount == 0) return fail(noCardReason(input.form));
    KVZ_TRY(deck.assignGroups());

    if (options.decks) {
        KVZ_TRY(checkParts(deck, options.fixes, input));
    } else {
        std::vector<std::size_t> sourceLines;
        input.ownLayout = deck.ownLayout(sourceLines, deck.cardsByGroup());
        Result<DeckCheck> checked = checkDeck(input.ownLayout, options.fixes);
        KVZ_TRY(checked);
        input.check = std::move(*checked);
        renumberAll(input.check, sourceLines);
    }
    input.check.warnings.insert(input.check.warnings.begin(), tableCheck.warnings.begin(), tableCheck.warnings.end());
    if (tableCheck.problemCount > 0) {
        input.check.kvz.clear();
        input.check.problems.insert(input.check.problems.begin(), tableCheck.problems.begin(), tableCheck.problems.end());
        input.check.problemCount += tableCheck.problemCount;
        if (input.check.problems.size() > kProblemsListed) input.check.problems.resize(kProblemsListed);
    }
    std::stable_sort(input.check.problems.begin(), input.check.problems.end(),
                     [](const DeckMessage& a, const DeckMessage& b) { return a.line < b.line; });
    if (!options.decks) KVZ_TRY(layOutBuiltDeck(input));
    return input;
}

}  // namespace

Result<TableHead> readTableHead(std::string_view bytes, const DeckInputOptions& options) {
    if (looksLikeKvz(bytes)) return kvzDeckGivenAsText();
    Result<DecodedText> decoded = decodeText(bytes, options.encoding);
    KVZ_TRY(decoded);
    const std::string text = composeCombiningMarks(decoded->utf8);
    const Result<ExportHeader> header = readExportHeader(text);
    KVZ_TRY(header);
    TableHead head;
    if (isBlank(text) || !readAsTable(text, *header, options)) return head;
    head.form = header->present ? DeckForm::flashcardExport : DeckForm::table;
    const std::string_view body = std::string_view(text).substr(header->bodyStart);
    head.separator = separatorOf(body, *header, options, head.separatorFound);
    if (head.form != DeckForm::table) return head;
    const Table table = readTable(body, head.separator, header->lines + 1);
    if (table.rows.empty()) return head;
    const TableRow& first = table.rows.front();
    head.firstRow = first.cells;
    head.suggested = suggestedRoles(first);
    head.namesItsColumns = allRoleNames(first);
    return head;
}

DeckInputOptions withColumnRoles(const TableHead& head, const std::vector<ColumnRole>& roles, bool headerRow,
                                 DeckInputOptions options) {
    if (!givesAField(roles)) return options;
    if (headerRow) return headerOptions(TableRow{0, head.firstRow}, roles, std::move(options));
    options.namedColumns.clear();
    options.columns = roles;
    options.headerRow = false;
    return options;
}

std::string columnRoleName(ColumnRole role) { return roleName(role); }

std::string separatorName(char32_t separator) { return separatorOptionName(separator); }

std::optional<ColumnRole> columnRoleNamed(std::string_view name) {
    const std::string lower = lowerTrimmed(name);
    if (lower == "long" || lower == "long field") return ColumnRole::longField;
    if (lower == "group") return ColumnRole::group;
    if (lower == "-") return ColumnRole::skip;
    for (int n = 1; n <= 5; ++n) {
        if (lower == "short" + std::to_string(n) || lower == "short field " + std::to_string(n))
            return static_cast<ColumnRole>(n);
    }
    return std::nullopt;
}

Result<ColumnRole> parseColumnRole(std::string_view name) {
    if (const std::optional<ColumnRole> role = columnRoleNamed(name)) return *role;
    return fail("--columns: '" + inputExcerpt(name) +
                "' names no column; the names are long, short1 to short5, group, and - for a column to skip");
}

Result<std::vector<ColumnRole>> parseColumns(std::string_view list) {
    std::vector<ColumnRole> roles;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        const Result<ColumnRole> role = parseColumnRole(name);
        KVZ_TRY(role);
        if (*role != ColumnRole::skip && std::find(roles.begin(), roles.end(), *role) != roles.end())
            return fail("--columns: '" + roleName(*role) + "' is given twice; each field has one column");
        roles.push_back(*role);
        if (comma == std::string_view::npos) return roles;
        list.remove_prefix(comma + 1);
    }
}

std::string deckPartName(std::string_view deckName, std::size_t part) {
    const std::size_t nameStart = deckName.find_last_of("/\\") == std::string_view::npos ? 0 : deckName.find_last_of("/\\") + 1;
    std::size_t dot = deckName.rfind('.');
    if (dot == std::string_view::npos || dot <= nameStart) dot = deckName.size();
    return std::string(deckName.substr(0, dot)) + "-" + std::to_string(part) + std::string(deckName.substr(dot));
}

std::optional<ColumnRole> suggestedRoleOf(std::string_view headerCell) {
    if (const std::optional<ColumnRole> own = columnRoleNamed(headerCell)) return own;
    const std::string lower = lowerTrimmed(headerCell);
    for (const CommonName& common : kCommonNames)
        if (lower == common.name) return common.role;
    return std::nullopt;
}

Result<ColumnList> parseColumnList(std::string_view list, bool rolePerNoteType) {
    if (list.find('=') == std::string_view::npos) {
        Result<std::vector<ColumnRole>> roles = parseColumns(list);
        KVZ_TRY(roles);
        return ColumnList{std::move(*roles), {}};
    }
    ColumnList columns;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            return fail("--columns: '" + inputExcerpt(item) +
                        "' gives no header name; write every column as NAME=ROLE (word=short1), or list the roles "
                        "alone in the order of the columns");
        }
        const std::string name = trimmedText(item.substr(0, equals));
        if (name.empty()) return fail("--columns: '" + inputExcerpt(item) + "' names no header cell before its =");
        const Result<ColumnRole> role = parseColumnRole(item.substr(equals + 1));
        KVZ_TRY(role);
        for (const NamedColumn& earlier : columns.named) {
            if (lowerTrimmed(earlier.name) == lowerTrimmed(name))
                return fail("--columns: the header name '" + inputExcerpt(name) + "' is given twice");
            if (*role != ColumnRole::skip && earlier.role == *role && !rolePerNoteType)
                return fail("--columns: '" + roleName(*role) + "' is given twice; each field has one column");
        }
        columns.named.push_back({name, *role});
        if (comma == std::string_view::npos) return columns;
        list.remove_prefix(comma + 1);
    }
}

std::vector<BuildOption> buildOptions(const DeckInputOptions& options) {
    std::vector<BuildOption> words;
    const auto add = [&words](std::string option, std::string value = {}) {
        words.push_back({std::move(option), std::move(value)});
    };
    if (options.package && !options.package->deck.empty()) add("--deck", options.package->deck);
    if (options.encoding && !options.package) add("--encoding", encodingOptionName(*options.encoding));
    if (options.separator != 0) add("--separator", separatorOptionName(options.separator));
    if (options.headerRow) add(*options.headerRow ? "--header" : "--no-header");
    if (options.package && !options.package->columns.empty())
        add("--columns", options.package->columns);
    else if (!options.package && (!options.columns.empty() || !options.namedColumns.empty()))
        add("--columns", columnsOptionValue(options));
    if (options.furigana) {
        add("--furigana", *options.furigana == Furigana::base      ? "base"
                          : *options.furigana == Furigana::reading ? "reading"
                                                                   : "both");
    }
    if (options.groupSize != 0) add("--group-size", std::to_string(options.groupSize));
    if (options.decks) add("--decks");
    if (options.fixes.cut) add("--cut");
    if (options.fixes.replacement) {
        std::string character;
        appendUtf8(character, *options.fixes.replacement);
        add("--replace", character);
    }
    return words;
}

std::string buildCommand(const DeckInputOptions& options) {
    std::string command = options.deckName.empty() ? "" : "kvzdeck build";
    for (const auto& [option, value] : buildOptions(options)) {
        command += (command.empty() ? "" : " ") + option;
        if (!value.empty()) command += " " + shellQuoted(value);
    }
    if (!options.deckName.empty()) command += " " + shellQuoted(options.fileName) + " " + shellQuoted(options.deckName);
    return command;
}

Result<DeckInput> readDeckInput(std::string_view bytes, const DeckInputOptions& options) {
    if (looksLikeKvz(bytes)) return kvzDeckGivenAsText();
    Result<DecodedText> decoded = decodeText(bytes, options.encoding);
    KVZ_TRY(decoded);
    DeckInput input;
    input.encoding = decoded->encoding;
    // Marks typed after their base (か and U+3099) become the one character Shift_JIS holds.
    const std::string text = composeCombiningMarks(decoded->utf8);
    const bool asWritten = input.encoding == TextEncoding::utf8 && text == bytes;
    if (isBlank(text)) return fail("is empty; a deck needs at least one card");
    const Result<ExportHeader> header = readExportHeader(text);
    KVZ_TRY(header);
    if (readAsTable(text, *header, options)) {
        Result<DeckInput> read = readTableInput(text, *header, options, std::move(input));
        if (read) {
            warnOfAGuessedEncoding(bytes, options, *read, read->check);
            mergeRepeatedWarnings(read->check.warnings);
        }
        return read;
    }
    if (options.decks)
        return fail("is in kvzdeck's own layout, whose 8 groups make one deck: --decks is for tables and exports");
    // A KVZ deck is told as one from its own bytes.
    Result<DeckCheck> checked =
        checkDeck(asWritten ? bytes : std::string_view(text), options.fixes);
    KVZ_TRY(checked);
    input.check = std::move(*checked);
    warnOfAGuessedEncoding(bytes, options, input, input.check);
    mergeRepeatedWarnings(input.check.warnings);
    input.ownLayout = asWritten ? std::string(bytes) : text;
    KVZ_TRY(layOutBuiltDeck(input));
    return input;
}

std::string describeDeckForm(const DeckInput& input) {
    if (input.form == DeckForm::ownLayout) return "kvzdeck's own layout";
    std::string separator = separatorOptionName(input.separator);
    if (separator.size() == 1 || input.separator > 0x7F) separator = "'" + separator + "'";
    const std::string cards = std::to_string(input.cards) + (input.cards == 1 ? " card" : " cards");
    const std::string found = input.separatorFound ? " (the separator found from its first rows)" : "";
    if (input.form == DeckForm::ankiPackage) return "an Anki package (" + input.collection + "), " + cards;
    return (input.form == DeckForm::table ? "a " + separator + "-separated table" + found :
            "a flashcard export (" + separator + "-separated)") + ", " + cards;
}

Result<Furigana> parseFuriganaOption(std::string_view value) {
    if (value == "base") return Furigana::base;
    if (value == "reading") return Furigana::reading;
    if (value == "both") return Furigana::both;
    return fail("option '--furigana' takes base, reading or both, not '" + inputExcerpt(value) + "'");
}

Result<std::size_t> parseGroupSizeOption(std::string_view value) {
    std::size_t size = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), size);
    if (error != std::errc{} || end != value.data() + value.size() || size == 0 || size > 65535)
        return fail("option '--group-size' takes a number of cards from 1 to 65535, not '" + inputExcerpt(value) + "'");
    return size;
}

Result<TextEncoding> parseEncodingOption(std::string_view value) {
    if (const std::optional<TextEncoding> encoding = parseEncodingName(value)) return *encoding;
    return fail("option '--encoding' takes utf-8, utf-16le, utf-16be or cp932, not '" + inputExcerpt(value) + "'");
}

Result<char32_t> parseSeparatorOption(std::string_view value) {
    if (const char32_t separator = parseSeparatorName(value)) return separator;
    return fail("option '--separator' takes tab, comma, semicolon, space, pipe, colon or one character, not '" +
                inputExcerpt(value) + "'");
}

Result<char32_t> parseReplacementOption(std::string_view value) {
    const std::optional<Utf8Character> character = decodeUtf8(value);
    if (!character || character->length != value.size())
        return fail("option '--replace' takes one character, not '" + inputExcerpt(value) + "'");
    if (!shiftJisOf(character->codePoint) || character->codePoint < 0x20)
        return fail("option '--replace' needs a character that has a Shift_JIS form, such as 〓; '" +
                    inputExcerpt(value) + "' has none");
    return character->codePoint;
}

std::string describeChanges(const DeckCheck& check) {
    std::string summary;
    if (check.cutFields > 0) summary = std::to_string(check.cutFields) + (check.cutFields == 1 ? " field cut" : " fields cut");
    if (check.replacedCharacters > 0) {
        if (!summary.empty()) summary += ", ";
        summary += std::to_string(check.replacedCharacters) +
                   (check.replacedCharacters == 1 ? " character replaced" : " characters replaced");
    }
    return summary;
}

}  // namespace kvz
