#include "deck/deck_input.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "common/file_names.h"
#include "common/text.h"
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

std::string noColumnsReason(const TableRow& first, char32_t separator) {
    std::string example;
    for (std::size_t i = 0; i < first.cells.size() && i < kNoteFieldRoles.size(); ++i) {
        if (i > 0) example += ',';
        example += roleName(kNoteFieldRoles[i]);
    }
    const std::string joined = joinCells(first, separator);
    const bool zeroBytes = joined.find('\0') != std::string::npos;
    return std::to_string(first.line) + ": the table names none of its columns; its first row is \"" +
           inputExcerpt(joined) + "\": name them with --columns in the order of the columns, e.g. --columns " + example +
           " (long, short1 to short5, group, and - for a column to skip), or write these names in a header row" +
           (separator == '\t' ? "; a deck in kvzdeck's own layout starts with a group name (a line with no tab)" : "") +
           (zeroBytes ? "; the row holds zero bytes, as a UTF-16 text without a byte order mark does: give "
                        "--encoding utf-16le or utf-16be"
                      : "");
}

Result<Layout> layoutOf(const std::vector<TableRow>& rows, const DeckInputOptions& options, char32_t separator) {
    const bool header = !rows.empty() && allRoleNames(rows.front());
    if (!options.columns.empty()) return Layout{options.columns, header};
    if (header) {
        Layout layout{{}, true};
        std::array<std::size_t, static_cast<std::size_t>(ColumnRole::skip)> columnOf{};  // from 1; 0: none yet
        for (const std::string& cell : rows.front().cells) {
            const ColumnRole role = cell.empty() ? ColumnRole::skip : *columnRoleNamed(cell);
            layout.roles.push_back(role);
            if (role == ColumnRole::skip) continue;
            std::size_t& earlier = columnOf[static_cast<std::size_t>(role)];
            if (earlier != 0) {
                return fail(std::to_string(rows.front().line) + ": the header row names '" + roleName(role) +
                            "' twice, in columns " + std::to_string(earlier) + " and " +
                            std::to_string(layout.roles.size()) +
                            "; each field has one column: name the other one -, or give --columns");
            }
            earlier = layout.roles.size();
        }
        return layout;
    }
    if (rows.empty()) return Layout{};
    return fail(noColumnsReason(rows.front(), separator));
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
    if (rules.html) text = htmlToText(text);
    if (rules.furigana) text = applyFurigana(text, *rules.furigana);
    return text;
}

class DeckLayout {
public:
    DeckLayout(const DeckInputOptions& options, DeckCheck& check) : options_(options), check_(check) {}

    void addCards(const std::vector<TableRow>& rows, const Layout& layout, const TextRules& rules, bool exportDecks) {
        const bool groupColumn =
            std::find(layout.roles.begin(), layout.roles.end(), ColumnRole::group) != layout.roles.end();
        std::string lastGroup;
        for (std::size_t r = layout.skipFirstRow ? 1 : 0; r < rows.size(); ++r) {
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

    // Groups by the group column, by --group-size, or one named after the file.
    Status assignGroups() {
        if (hasGroupColumn_) {
            std::unordered_set<std::string_view> named;
            for (const Card& card : cards_)
                if (!card.group.empty() && named.insert(card.group).second) groups_.push_back(card.group);
            if (groups_.size() > kGroupCount) {
                return fail("the group column names " + std::to_string(groups_.size()) +
                            " groups, and a deck holds 8: " + listOfNames(groups_) +
                            "; give some cards the same group, or make a deck of each part of the table");
            }
            return success();
        }
        const std::size_t size = options_.groupSize;
        const std::size_t count = size == 0 ? 1 : std::max<std::size_t>(1, (cards_.size() + size - 1) / size);
        if (count > kGroupCount) {
            return fail("--group-size " + std::to_string(size) + " makes " + std::to_string(count) + " groups of the " +
                        std::to_string(cards_.size()) + " cards, and a deck holds 8: give --group-size " +
                        std::to_string((cards_.size() + kGroupCount - 1) / kGroupCount) + " or more");
        }
        std::string stem = fileStemName(options_.fileName);
        for (std::size_t g = 0; g < count; ++g) {
            const std::string number = count == 1 ? "" : "-" + std::to_string(g + 1);
            std::string name = fitGroupName(stem, kGroupNameWidth - number.size()) + number;
            if (name.empty()) name = "deck";
            groups_.push_back(name);
        }
        for (std::size_t c = 0; c < cards_.size(); ++c) cards_[c].group = groups_[size == 0 ? 0 : c / size];
        return success();
    }

    // The deck in kvzdeck's own layout, and the input line of each of its lines.
    std::string ownLayout(std::vector<std::size_t>& sourceLines) const {
        std::string tsv;
        for (std::size_t g = 0; g < kGroupCount; ++g) {
            const bool used = g < groups_.size();
            const std::string name = used ? groups_[g] : std::string(kUnusedGroupName);
            std::size_t firstLine = 1;
            std::string entries;
            std::vector<std::size_t> entryLines;
            for (const Card& card : cards_) {
                if (!used || card.group != name) continue;
                if (entryLines.empty()) firstLine = card.line;
                for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
                    if (f > 0) entries += '\t';
                    entries += escapeCell(card.fields[f], f == 0);
                }
                entries += '\n';
                entryLines.push_back(card.line);
            }
            tsv += escapeCell(name, true) + "\n" + entries;
            sourceLines.push_back(firstLine);
            sourceLines.insert(sourceLines.end(), entryLines.begin(), entryLines.end());
        }
        return tsv;
    }

    std::size_t cards() const { return cards_.size(); }

private:
    void problem(std::size_t line, std::string reason) {
        if (check_.problems.size() < kProblemsListed) check_.problems.push_back({line, std::move(reason)});
        ++check_.problemCount;
    }

    std::string plainGroupName(const std::string& text, std::size_t line) {
        if (text.find(' ') == std::string::npos) return text;
        check_.warnings.push_back({line, "warning: group name '" + inputExcerpt(text) +
                                             "' holds spaces, which would end it: written with full-width spaces"});
        return replaceAll(text, " ", kIdeographicSpace);
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
// name, a line with no tab.
bool looksLikeOwnLayout(std::string_view text) {
    // Lines that end in CR alone are refused as kvzdeck's own layout refuses them.
    if (text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos) return true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!line.empty() && line != "\r" && line.front() != '#') return line.find('\t') == std::string_view::npos;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return true;
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

Result<DeckInput> readTableInput(const std::string& text, const ExportHeader& header, const DeckInputOptions& options,
                                 DeckInput input) {
    const bool flashcards = header.present;
    input.form = flashcards ? DeckForm::flashcardExport : DeckForm::table;
    input.separator = options.separator    ? options.separator
                      : header.separator   ? header.separator
                      : fileExtension(options.fileName) == ".csv" ? U','
                                                                : U'\t';
    Table table = readTable(std::string_view(text).substr(header.bodyStart), input.separator, header.lines + 1);
    DeckCheck tableCheck;
    for (TableProblem& problem : table.problems) tableCheck.problems.push_back({problem.line, std::move(problem.reason)});
    tableCheck.problemCount = tableCheck.problems.size();

    Layout layout;
    if (flashcards) {
        layout = exportLayout(header, table.rows, options);
    } else {
        Result<Layout> found = layoutOf(table.rows, options, input.separator);
        KVZ_TRY(found);
        layout = std::move(*found);
    }
    const TextRules rules{header.html, flashcards,
                          flashcards ? std::optional(options.furigana.value_or(Furigana::base)) : options.furigana};
    DeckLayout deck(options, tableCheck);
    deck.addCards(table.rows, layout, rules, flashcards && header.deckColumn.has_value());
    input.cards = deck.cards();
    if (input.cards == 0 && tableCheck.problemCount == 0) return fail(noCardReason(input.form));
    KVZ_TRY(deck.assignGroups());

    std::vector<std::size_t> sourceLines;
    input.ownLayout = deck.ownLayout(sourceLines);
    Result<DeckCheck> checked = checkDeck(input.ownLayout, options.fixes);
    KVZ_TRY(checked);
    input.check = std::move(*checked);
    renumber(input.check.problems, sourceLines);
    renumber(input.check.warnings, sourceLines);
    renumber(input.check.changes, sourceLines);
    input.check.warnings.insert(input.check.warnings.begin(), tableCheck.warnings.begin(), tableCheck.warnings.end());
    if (tableCheck.problemCount > 0) {
        input.check.kvz.clear();
        input.check.problems.insert(input.check.problems.begin(), tableCheck.problems.begin(), tableCheck.problems.end());
        input.check.problemCount += tableCheck.problemCount;
        if (input.check.problems.size() > kProblemsListed) input.check.problems.resize(kProblemsListed);
    }
    std::stable_sort(input.check.problems.begin(), input.check.problems.end(),
                     [](const DeckMessage& a, const DeckMessage& b) { return a.line < b.line; });
    KVZ_TRY(layOutBuiltDeck(input));
    return input;
}

}  // namespace

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

Result<std::vector<ColumnRole>> parseColumns(std::string_view list) {
    std::vector<ColumnRole> roles;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        const std::optional<ColumnRole> role = columnRoleNamed(name);
        if (!role) {
            return fail("--columns: '" + inputExcerpt(name) +
                        "' names no column; the names are long, short1 to short5, group, and - for a column to skip");
        }
        if (*role != ColumnRole::skip && std::find(roles.begin(), roles.end(), *role) != roles.end())
            return fail("--columns: '" + roleName(*role) + "' is given twice; each field has one column");
        roles.push_back(*role);
        if (comma == std::string_view::npos) return roles;
        list.remove_prefix(comma + 1);
    }
}

Result<DeckInput> readDeckInput(std::string_view bytes, const DeckInputOptions& options) {
    if (looksLikeKvz(bytes)) return fail("is a KVZ deck already, not a text", FailureKind::notADeck);
    Result<DecodedText> decoded = decodeText(bytes, options.encoding);
    KVZ_TRY(decoded);
    DeckInput input;
    input.encoding = decoded->encoding;
    const std::string& text = decoded->utf8;
    if (isBlank(text)) return fail("is empty; a deck needs at least one card");
    const Result<ExportHeader> header = readExportHeader(text);
    KVZ_TRY(header);
    const bool table = options.separator != 0 || !options.columns.empty() || options.groupSize != 0 ||
                       fileExtension(options.fileName) == ".csv" || header->present || !looksLikeOwnLayout(text);
    if (table) {
        Result<DeckInput> read = readTableInput(text, *header, options, std::move(input));
        if (read) mergeRepeatedWarnings(read->check.warnings);
        return read;
    }
    // A KVZ deck is told as one from its own bytes.
    Result<DeckCheck> checked =
        checkDeck(input.encoding == TextEncoding::utf8 ? bytes : std::string_view(text), options.fixes);
    KVZ_TRY(checked);
    input.check = std::move(*checked);
    mergeRepeatedWarnings(input.check.warnings);
    input.ownLayout = input.encoding == TextEncoding::utf8 ? std::string(bytes) : text;
    KVZ_TRY(layOutBuiltDeck(input));
    return input;
}

std::string describeDeckForm(const DeckInput& input) {
    if (input.form == DeckForm::ownLayout) return "kvzdeck's own layout";
    std::string separator;
    switch (input.separator) {
        case U'\t': separator = "tab"; break;
        case U',': separator = "comma"; break;
        case U';': separator = "semicolon"; break;
        case U' ': separator = "space"; break;
        default: separator = "'"; appendUtf8(separator, input.separator); separator += "'";
    }
    const std::string cards = std::to_string(input.cards) + (input.cards == 1 ? " card" : " cards");
    return (input.form == DeckForm::table ? "a " + separator + "-separated table" :
            "a flashcard export (" + separator + "-separated)") + ", " + cards;
}

Result<Furigana> parseFuriganaOption(std::string_view value) {
    if (value == "base") return Furigana::base;
    if (value == "reading") return Furigana::reading;
    if (value == "both") return Furigana::both;
    return fail("option '--furigana' takes base, reading or both, not '" + inputExcerpt(value) + "'");
}

Result<TextEncoding> parseEncodingOption(std::string_view value) {
    if (const std::optional<TextEncoding> encoding = parseEncodingName(value)) return *encoding;
    return fail("option '--encoding' takes utf-8, utf-16le, utf-16be or cp932, not '" + inputExcerpt(value) + "'");
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
