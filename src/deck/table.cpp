#include "common/text.h"
#include "deck/table.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "deck/utf8.h"

namespace kvz {
namespace {

// Reads a table one character at a time; the separator may be any
// character, so it is compared as UTF-8 text.
class TableReader {
public:
    TableReader(std::string_view text, char32_t separator, std::size_t firstLine)
        : text_(text), line_(firstLine) {
        appendUtf8(separator_, separator);
    }

    Table read() {
        Table table;
        while (position_ < text_.size()) {
            TableRow row{line_, {}};
            if (!readRow(row.cells)) {
                table.problems.push_back({openedOn_, "a quoted cell that starts on this line is never closed; end it "
                                                     "with \", and write a quote inside it as \"\""});
                break;
            }
            if (!allEmpty(row.cells)) table.rows.push_back(std::move(row));
        }
        return table;
    }

private:
    static bool allEmpty(const std::vector<std::string>& cells) {
        for (const std::string& cell : cells)
            if (!cell.empty()) return false;
        return true;
    }

    bool atSeparator() const { return text_.substr(position_).starts_with(separator_); }
    bool atLineEnd() const { return text_[position_] == '\n' || text_[position_] == '\r'; }

    // Steps over LF, CR LF or CR.
    void skipLineEnd() {
        if (text_[position_] == '\r' && position_ + 1 < text_.size() && text_[position_ + 1] == '\n') ++position_;
        ++position_;
        ++line_;
    }

    // One row's cells; false when a quote is never closed.
    bool readRow(std::vector<std::string>& cells) {
        while (true) {
            std::string cell;
            if (position_ < text_.size() && text_[position_] == '"' && !readQuoted(cell)) return false;
            readUnquoted(cell);
            cells.push_back(std::move(cell));
            if (position_ == text_.size()) return true;
            if (atLineEnd()) {
                skipLineEnd();
                return true;
            }
            position_ += separator_.size();
        }
    }

    bool readQuoted(std::string& cell) {
        openedOn_ = line_;
        ++position_;
        while (position_ < text_.size()) {
            const char c = text_[position_];
            if (c == '"') {
                if (position_ + 1 < text_.size() && text_[position_ + 1] == '"') {
                    cell += '"';
                    position_ += 2;
                    continue;
                }
                ++position_;
                return true;
            }
            if (c == '\r' || c == '\n') {
                cell += '\n';
                skipLineEnd();
                continue;
            }
            cell += c;
            ++position_;
        }
        return false;
    }

    void readUnquoted(std::string& cell) {
        const std::size_t start = position_;
        while (position_ < text_.size() && !atLineEnd() && !atSeparator()) ++position_;
        cell.append(text_.substr(start, position_ - start));
    }

    std::string_view text_;
    std::string separator_;
    std::size_t position_ = 0;
    std::size_t line_;
    std::size_t openedOn_ = 0;
};

}  // namespace

Table readTable(std::string_view text, char32_t separator, std::size_t firstLine) {
    return TableReader(text, separator, firstLine).read();
}

char32_t findSeparator(std::string_view text, char32_t preferredSeparator, std::size_t rowsNeeded) {
    constexpr std::size_t kRowsLooked = 20;
    constexpr std::size_t kBytesLooked = 64 * 1024;
    // The first rows, the last of them left out when it may be cut short.
    std::size_t lineEnds = 0, end = 0;
    while (end < text.size() && end < kBytesLooked && lineEnds < kRowsLooked) {
        if (text[end] == '\n' || (text[end] == '\r' && (end + 1 == text.size() || text[end + 1] != '\n'))) ++lineEnds;
        ++end;
    }
    const bool whole = end == text.size();
    char32_t found = 0;
    std::size_t mostCells = 1;
    for (const char32_t separator : kFoundSeparators) {
        Table table = readTable(text.substr(0, end), separator);
        if (!whole && !table.rows.empty()) table.rows.pop_back();
        if (table.rows.size() < std::max<std::size_t>(rowsNeeded, 1)) continue;
        const std::size_t cells = table.rows.front().cells.size();
        const bool same = std::all_of(table.rows.begin(), table.rows.end(),
                                      [cells](const TableRow& row) { return row.cells.size() == cells; });
        const bool preferred = cells == mostCells && separator == preferredSeparator;
        if (same && cells > 1 && (cells > mostCells || preferred)) {
            found = separator;
            mostCells = cells;
        }
    }
    return found;
}

char32_t parseSeparatorName(std::string_view name) {
    const std::string lower = lowerTrimmed(name);
    constexpr std::array<std::pair<std::string_view, char32_t>, 6> kNames{{
        {"tab", '\t'}, {"comma", ','}, {"semicolon", ';'}, {"space", ' '}, {"pipe", '|'}, {"colon", ':'}}};
    for (const auto& [known, separator] : kNames)
        if (lower == known) return separator;
    const std::optional<Utf8Character> single = decodeUtf8(name);
    if (single && single->length == name.size() && single->codePoint != '"' && single->codePoint != '\n' &&
        single->codePoint != '\r')
        return single->codePoint;
    return 0;
}

}  // namespace kvz
