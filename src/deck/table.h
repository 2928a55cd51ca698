// Tables as spreadsheets save them: rows of cells, separated by one
// character, quoted as RFC 4180 says (a cell in double quotes may hold the
// separator, line breaks and "" for a quote).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

struct TableRow {
    std::size_t line = 0;  // the line the row starts on, from 1
    std::vector<std::string> cells;
};

struct TableProblem {
    std::size_t line = 0;
    std::string reason;
};

struct Table {
    std::vector<TableRow> rows;
    std::vector<TableProblem> problems;  // a quote never closed, at most one
};

// The rows of `text` (UTF-8), counting lines from `firstLine`. Rows end in
// LF, CR LF or CR; a line break inside quotes stays in the cell as LF
// (CR LF and CR taken as one). A quote inside an unquoted cell is an
// ordinary character, and so is text after a cell's closing quote, as
// spreadsheets read them. Rows whose cells are all empty are left out. A
// quote that is never closed makes a problem at the line it opens on; the
// rows before it are kept.
Table readTable(std::string_view text, char32_t separator, std::size_t firstLine = 1);

// The separators a table is looked for in, as spreadsheets write them.
inline constexpr std::u32string_view kFoundSeparators = U"\t;|,";

// The separator that splits the first rows of `text` (at most 20, as
// readTable reads them, quotes respected) into the same number of cells,
// more than one: tab, semicolon, pipe or comma. Where several do, the one
// that makes the most cells; among those, `preferred` (the one the file's
// extension names), else the first in that order, since a cell holds
// commas more often than the others. 0 when none does, or when fewer than
// `rowsNeeded` rows were read. Reads a bounded part of the text.
char32_t findSeparator(std::string_view text, char32_t preferred = 0, std::size_t rowsNeeded = 1);

// The separator that --separator and an export's header name: "tab",
// "comma", "semicolon", "space", "pipe", "colon" (any case), or a single
// character. 0 for anything else.
char32_t parseSeparatorName(std::string_view name);

}  // namespace kvz
