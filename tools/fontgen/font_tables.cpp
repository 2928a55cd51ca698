#include "font_tables.h"

#include <array>
#include <cstdio>
#include <stdexcept>

namespace fontgen {
namespace {

constexpr int kNarrowWidth = 3;
constexpr int kK6x8Width = 5;
constexpr int kK6x8CellWidth = 6;  // the 6th column is spacing
constexpr int kMisakiWidth = 7;    // the 8th column of the cell is dropped
constexpr int kCellHeight = 8;
constexpr int kLargeGlyphs = kJisRows * kJisColumns;

// JIS X 0201 lacks the small ヮ ヵ ヶ and the old ヰ ヱ; these narrow forms
// follow the style of the sheet's half-width katakana. Columns left to right,
// bit 0 at the top.
struct HandDrawn {
    int code;
    char32_t character;
    std::array<std::uint8_t, kNarrowWidth> columns;
};
constexpr std::array<HandDrawn, 5> kHandDrawn{{
    {0xE0, U'ヮ', {0x2C, 0x24, 0x1C}},
    {0xE1, U'ヵ', {0x28, 0x1C, 0x38}},
    {0xE2, U'ヶ', {0x2C, 0x18, 0x08}},
    {0xE3, U'ヰ', {0x0E, 0x0A, 0x3F}},
    {0xE4, U'ヱ', {0x22, 0x3A, 0x26}},
}};

bool narrowCodeInSheet(int code) {
    return (code >= 0x21 && code <= 0x7E) || (code >= 0xA1 && code <= 0xDF);
}

// The character JIS X 0201 assigns to a code of the sheet.
char32_t jisX0201Character(int code) {
    if (code == 0x5C) return U'¥';
    if (code == 0x7E) return U'‾';
    if (code < 0x80) return static_cast<char32_t>(code);
    return static_cast<char32_t>(0xFF61 + (code - 0xA1));
}

std::string hexByte(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

std::string jisLabel(int row, int column) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", row + 0x20, column + 0x20);
    return text;
}

std::uint8_t sheetColumn(const InkSheet& sheet, int x, int top) {
    std::uint8_t byte = 0;
    for (int y = 0; y < kCellHeight; ++y) {
        if (sheet.at(x, top + y)) {
            byte = static_cast<std::uint8_t>(byte | 1u << y);
        }
    }
    return byte;
}

bool sheetCellHasInk(const InkSheet& sheet, int left, int top, int cellWidth) {
    for (int x = left; x < left + cellWidth; ++x) {
        if (sheetColumn(sheet, x, top) != 0) return true;
    }
    return false;
}

void requireSize(const InkSheet& sheet, int width, int height, const char* what) {
    if (sheet.width != width || sheet.height != height) {
        throw std::runtime_error(std::string(what) + " must be " + std::to_string(width) +
                                 " x " + std::to_string(height) + " pixels");
    }
}

std::string characterLabel(ShiftJisDecoder& decoder, int row, int column) {
    const std::vector<char32_t> characters = decoder.candidates(shiftJisOf(row, column));
    std::string label = jisLabel(row, column);
    if (!characters.empty() && characters.front() >= 0x20) {
        label += ' ';
        label += utf8Of(characters.front());
    }
    return label;
}

FontTable emptyLargeTable(const char* name, int width, ShiftJisDecoder& decoder) {
    FontTable table;
    table.name = name;
    table.width = width;
    table.bytes.assign(static_cast<std::size_t>(kLargeGlyphs) * width, 0);
    for (int row = 1; row <= kJisRows; ++row) {
        table.headings[(row - 1) * kJisColumns] =
            "row " + std::to_string(row) + (rowCarriesGlyphs(row) ? "" : " (empty)");
        for (int column = 1; column <= kJisColumns; ++column) {
            table.labels.push_back(characterLabel(decoder, row, column));
        }
    }
    return table;
}

}  // namespace

bool rowCarriesGlyphs(int row) {
    return (row >= 1 && row <= 8) || row == 13 || (row >= 16 && row <= 84);
}

FontTable buildFont4x8(const InkSheet& sheet) {
    requireSize(sheet, 16 * kNarrowWidth, 16 * kCellHeight, "the 3 x 8 sheet");
    FontTable table;
    table.name = "font4x8";
    table.width = kNarrowWidth;
    table.bytes.assign(256 * kNarrowWidth, 0);
    for (int code = 0; code < 256; ++code) {
        const int left = (code & 0x0F) * kNarrowWidth;
        const int top = (code >> 4) * kCellHeight;
        std::string label = hexByte(code);
        if (narrowCodeInSheet(code)) {
            for (int x = 0; x < kNarrowWidth; ++x) {
                table.bytes[static_cast<std::size_t>(code * kNarrowWidth + x)] =
                    sheetColumn(sheet, left + x, top);
            }
            label += ' ';
            label += utf8Of(jisX0201Character(code));
        } else if (sheetCellHasInk(sheet, left, top, kNarrowWidth)) {
            table.notes.push_back("3x8 sheet: glyph " + hexByte(code) + " left out");
        }
        table.labels.push_back(label);
    }
    for (const HandDrawn& glyph : kHandDrawn) {
        for (int x = 0; x < kNarrowWidth; ++x) {
            table.bytes[static_cast<std::size_t>(glyph.code * kNarrowWidth + x)] =
                glyph.columns[static_cast<std::size_t>(x)];
        }
        std::string& label = table.labels[static_cast<std::size_t>(glyph.code)];
        label += ' ';
        label += utf8Of(glyph.character);
        label += " (drawn by hand)";
    }
    return table;
}

FontTable buildFontK6x8(const InkSheet& sheet, ShiftJisDecoder& decoder) {
    requireSize(sheet, kJisColumns * kK6x8CellWidth, kJisRows * kCellHeight, "the k6x8 sheet");
    FontTable table = emptyLargeTable("fontK6x8", kK6x8Width, decoder);
    table.headings[12 * kJisColumns] = "row 13 (empty: the sheet has no row 13)";
    for (int row = 1; row <= kJisRows; ++row) {
        for (int column = 1; column <= kJisColumns; ++column) {
            const int left = (column - 1) * kK6x8CellWidth;
            const int top = (row - 1) * kCellHeight;
            const int glyph = (row - 1) * kJisColumns + (column - 1);
            if (!rowCarriesGlyphs(row) || row == 13) {
                if (sheetCellHasInk(sheet, left, top, kK6x8CellWidth)) {
                    table.notes.push_back("k6x8 sheet: glyph " + jisLabel(row, column) +
                                          " left out");
                }
                continue;
            }
            for (int x = 0; x < kK6x8Width; ++x) {
                table.bytes[static_cast<std::size_t>(glyph * kK6x8Width + x)] =
                    sheetColumn(sheet, left + x, top);
            }
        }
    }
    return table;
}

FontTable buildFontMisaki(BitmapFont& font, ShiftJisDecoder& decoder) {
    FontTable table = emptyLargeTable("fontMisaki", kMisakiWidth, decoder);
    for (int row = 1; row <= kJisRows; ++row) {
        for (int column = 1; column <= kJisColumns; ++column) {
            const int glyph = (row - 1) * kJisColumns + (column - 1);
            for (char32_t character : decoder.candidates(shiftJisOf(row, column))) {
                const std::optional<Cell8> cell = font.cellOf(character);
                if (!cell) continue;
                if (!rowCarriesGlyphs(row)) {
                    table.notes.push_back("Misaki: glyph " + jisLabel(row, column) + " left out");
                    break;
                }
                for (int x = 0; x < kMisakiWidth; ++x) {
                    table.bytes[static_cast<std::size_t>(glyph * kMisakiWidth + x)] =
                        (*cell)[static_cast<std::size_t>(x)];
                }
                break;
            }
        }
    }
    return table;
}

}  // namespace fontgen
