// The glyph cell of a character: Shift_JIS to JIS X 0208, then the font by
// the JIS row.
#include <algorithm>
#include <optional>

#include "glyph/glyph.h"

namespace kvz {
namespace {

constexpr std::size_t kNarrowWidth = 3;
constexpr std::size_t kK6x8Width = 5;
constexpr std::size_t kMisakiWidth = 7;
constexpr int kLargeGlyphCount = 94 * 94;

struct JisCode {
    std::uint8_t row;     // 0x21-0x7E for JIS X 0208 characters
    std::uint8_t column;  // 0x21-0x7E for JIS X 0208 characters
};

// A column of a JIS row drawn with a narrow font4x8 glyph.
struct NarrowGlyph {
    std::uint8_t column;
    std::uint8_t glyph;
};

// Symbols of row 1 that have a narrow counterpart.
constexpr std::array<NarrowGlyph, 40> kRow1Narrow{{
    {0x21, 0x20}, {0x22, 0xA4}, {0x23, 0xA1}, {0x24, 0x2C}, {0x25, 0x2E},
    {0x26, 0xA5}, {0x27, 0x3A}, {0x28, 0x3B}, {0x29, 0x3F}, {0x2A, 0x21},
    {0x2B, 0xDE}, {0x2C, 0xDF}, {0x30, 0x5E}, {0x31, 0x7E}, {0x32, 0x5F},
    {0x3C, 0xB0}, {0x3F, 0x2F}, {0x43, 0x7C}, {0x46, 0x60}, {0x47, 0x27},
    {0x4A, 0x28}, {0x4B, 0x29}, {0x4E, 0x5B}, {0x4F, 0x5D}, {0x50, 0x7B},
    {0x51, 0x7D}, {0x56, 0xA2}, {0x57, 0xA3}, {0x5C, 0x2B}, {0x5D, 0x2D},
    {0x61, 0x3D}, {0x63, 0x3C}, {0x64, 0x3E}, {0x6F, 0x5C}, {0x70, 0x24},
    {0x73, 0x25}, {0x74, 0x23}, {0x75, 0x26}, {0x76, 0x2A}, {0x77, 0x40},
}};

// Katakana of row 5 without a sound mark; 0xE0-0xE4 are the narrow
// ヮ ヵ ヶ ヰ ヱ that JIS X 0201 lacks.
constexpr std::array<NarrowGlyph, 60> kRow5Narrow{{
    {0x21, 0xA7}, {0x22, 0xB1}, {0x23, 0xA8}, {0x24, 0xB2}, {0x25, 0xA9},
    {0x26, 0xB3}, {0x27, 0xAA}, {0x28, 0xB4}, {0x29, 0xAB}, {0x2A, 0xB5},
    {0x2B, 0xB6}, {0x2D, 0xB7}, {0x2F, 0xB8}, {0x31, 0xB9}, {0x33, 0xBA},
    {0x35, 0xBB}, {0x37, 0xBC}, {0x39, 0xBD}, {0x3B, 0xBE}, {0x3D, 0xBF},
    {0x3F, 0xC0}, {0x41, 0xC1}, {0x43, 0xAF}, {0x44, 0xC2}, {0x46, 0xC3},
    {0x48, 0xC4}, {0x4A, 0xC5}, {0x4B, 0xC6}, {0x4C, 0xC7}, {0x4D, 0xC8},
    {0x4E, 0xC9}, {0x4F, 0xCA}, {0x52, 0xCB}, {0x55, 0xCC}, {0x58, 0xCD},
    {0x5B, 0xCE}, {0x5E, 0xCF}, {0x5F, 0xD0}, {0x60, 0xD1}, {0x61, 0xD2},
    {0x62, 0xD3}, {0x63, 0xAC}, {0x64, 0xD4}, {0x65, 0xAD}, {0x66, 0xD5},
    {0x67, 0xAE}, {0x68, 0xD6}, {0x69, 0xD7}, {0x6A, 0xD8}, {0x6B, 0xD9},
    {0x6C, 0xDA}, {0x6D, 0xDB}, {0x6E, 0xE0}, {0x6F, 0xDC}, {0x70, 0xE3},
    {0x71, 0xE4}, {0x72, 0xA6}, {0x73, 0xDD}, {0x75, 0xE1}, {0x76, 0xE2},
}};

std::optional<std::uint8_t> narrowGlyphOf(std::span<const NarrowGlyph> table,
                                          std::uint8_t column) {
    const auto found = std::find_if(table.begin(), table.end(),
                                    [column](const NarrowGlyph& g) { return g.column == column; });
    if (found == table.end()) {
        return std::nullopt;
    }
    return found->glyph;
}

// Shift_JIS bytes to JIS row and column bytes; every step wraps modulo 256,
// and a code below 0x80 is taken as it is.
JisCode jisCodeOf(std::array<std::uint8_t, 2> code) {
    std::uint8_t b0 = code[0];
    std::uint8_t b1 = code[1];
    if (b0 < 0x80) {
        return {b0, b1};
    }
    if (b0 > 0xDF) {
        b0 = static_cast<std::uint8_t>(b0 - 0x40);
    }
    if (b1 >= 0x80) {
        b1 = static_cast<std::uint8_t>(b1 - 1);
    }
    if (b1 <= 0x9D) {
        return {static_cast<std::uint8_t>(2 * b0 - 0xE1), static_cast<std::uint8_t>(b1 - 0x1F)};
    }
    return {static_cast<std::uint8_t>(2 * b0 - 0xE0), static_cast<std::uint8_t>(b1 - 0x7D)};
}

int fontIndexOf(JisCode jis) {
    return (jis.row - 0x21) * 94 + (jis.column - 0x21);
}

void writeNarrowGlyph(GlyphCell& cell, std::uint8_t glyph) {
    writeFont(cell, std::span(font4x8).subspan(glyph * kNarrowWidth, kNarrowWidth));
}

// Codes outside the 94 x 94 grid have no glyph: their cell stays empty.
template <std::size_t N>
void writeLargeGlyph(GlyphCell& cell, const std::array<std::uint8_t, N>& font,
                     std::size_t width, int index) {
    if (index < 0 || index >= kLargeGlyphCount) {
        return;
    }
    writeFont(cell, std::span(font).subspan(static_cast<std::size_t>(index) * width, width));
}

void writeRowGlyph(GlyphCell& cell, std::span<const NarrowGlyph> narrow, JisCode jis) {
    if (const std::optional<std::uint8_t> glyph = narrowGlyphOf(narrow, jis.column)) {
        writeNarrowGlyph(cell, *glyph);
    } else {
        writeLargeGlyph(cell, fontK6x8, kK6x8Width, fontIndexOf(jis));
    }
}

}  // namespace

void writeFont(GlyphCell& cell, std::span<const std::uint8_t> glyph) {
    cell.fill(0);
    const auto first = std::find_if(glyph.begin(), glyph.end(),
                                    [](std::uint8_t column) { return column != 0; });
    const auto last = first + std::min<std::ptrdiff_t>(glyph.end() - first, kCellWidth);
    std::copy(first, last, cell.begin());
}

GlyphCell selectGlyph(std::array<std::uint8_t, 2> code) {
    const JisCode jis = jisCodeOf(code);
    GlyphCell cell{};
    switch (jis.row) {
    case 0x21:
        writeRowGlyph(cell, kRow1Narrow, jis);
        break;
    case 0x23:
        writeNarrowGlyph(cell, jis.column);
        break;
    case 0x25:
        writeRowGlyph(cell, kRow5Narrow, jis);
        break;
    case 0x22:
    case 0x24:
    case 0x26:
    case 0x27:
    case 0x28:
        writeLargeGlyph(cell, fontK6x8, kK6x8Width, fontIndexOf(jis));
        break;
    default:
        writeLargeGlyph(cell, fontMisaki, kMisakiWidth, fontIndexOf(jis));
        break;
    }
    return cell;
}

}  // namespace kvz
