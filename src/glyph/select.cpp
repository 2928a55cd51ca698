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

// Where a cell is drawn from: a font4x8 glyph, or a place of the 94 x 94
// grid of fontK6x8 or fontMisaki; `place` is the grid place the code is
// taken for (-1 for a narrow glyph found by a column beyond the grid).
enum class GlyphFont { none, narrow, k6x8, misaki };
struct GlyphSource {
    GlyphFont font = GlyphFont::none;
    int glyph = 0;  // the font4x8 glyph, or the grid place
    int place = -1;
};

bool sameGlyph(const GlyphSource& a, const GlyphSource& b) { return a.font == b.font && a.glyph == b.glyph; }

// Codes outside the 94 x 94 grid have no glyph: their cell stays empty.
GlyphSource largeGlyph(GlyphFont font, int index) {
    if (index < 0 || index >= kLargeGlyphCount) return {};
    return {font, index, index};
}

GlyphSource narrowGlyph(std::uint8_t glyph, JisCode jis) {
    const bool onTheGrid = jis.column >= 0x21 && jis.column <= 0x7E;
    return {GlyphFont::narrow, glyph, onTheGrid ? fontIndexOf(jis) : -1};
}

GlyphSource rowGlyph(std::span<const NarrowGlyph> narrow, JisCode jis) {
    if (const std::optional<std::uint8_t> glyph = narrowGlyphOf(narrow, jis.column)) return narrowGlyph(*glyph, jis);
    return largeGlyph(GlyphFont::k6x8, fontIndexOf(jis));
}

GlyphSource glyphSourceOf(std::array<std::uint8_t, 2> code) {
    const JisCode jis = jisCodeOf(code);
    switch (jis.row) {
    case 0x21:
        return rowGlyph(kRow1Narrow, jis);
    case 0x23:
        return narrowGlyph(jis.column, jis);
    case 0x25:
        return rowGlyph(kRow5Narrow, jis);
    case 0x22:
    case 0x24:
    case 0x26:
    case 0x27:
    case 0x28:
        return largeGlyph(GlyphFont::k6x8, fontIndexOf(jis));
    default:
        return largeGlyph(GlyphFont::misaki, fontIndexOf(jis));
    }
}

template <std::size_t N>
void writeGridGlyph(GlyphCell& cell, const std::array<std::uint8_t, N>& font, std::size_t width, int place) {
    writeFont(cell, std::span(font).subspan(static_cast<std::size_t>(place) * width, width));
}

GlyphCell cellOf(const GlyphSource& source) {
    GlyphCell cell{};
    switch (source.font) {
    case GlyphFont::none:
        break;
    case GlyphFont::narrow:
        writeFont(cell, std::span(font4x8).subspan(static_cast<std::size_t>(source.glyph) * kNarrowWidth, kNarrowWidth));
        break;
    case GlyphFont::k6x8:
        writeGridGlyph(cell, fontK6x8, kK6x8Width, source.glyph);
        break;
    case GlyphFont::misaki:
        writeGridGlyph(cell, fontMisaki, kMisakiWidth, source.glyph);
        break;
    }
    return cell;
}

bool isEmptyCell(const GlyphCell& cell) {
    return std::all_of(cell.begin(), cell.end(), [](std::uint8_t column) { return column == 0; });
}

// The Shift_JIS code of a place of the 94 x 94 grid.
std::array<std::uint8_t, 2> shiftJisOfPlace(int place) {
    const int row = place / 94 + 0x21, column = place % 94 + 0x21;
    int lead = (row + 0xE1) / 2;
    if (lead > 0x9F) lead += 0x40;
    int trail = row % 2 == 1 ? column + 0x1F : column + 0x7E;
    if (row % 2 == 1 && trail >= 0x7F) ++trail;
    return {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
}

// The first two-byte Shift_JIS code, in code order, drawn from `source`.
std::optional<std::array<std::uint8_t, 2>> firstCodeDrawnFrom(const GlyphSource& source) {
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isKanji(static_cast<std::uint8_t>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::array<std::uint8_t, 2> code{static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
            if (isTrailByte(code[1]) && sameGlyph(glyphSourceOf(code), source)) return code;
        }
    }
    return std::nullopt;
}

}  // namespace

void writeFont(GlyphCell& cell, std::span<const std::uint8_t> glyph) {
    cell.fill(0);
    const auto first = std::find_if(glyph.begin(), glyph.end(),
                                    [](std::uint8_t column) { return column != 0; });
    const auto last = first + std::min<std::ptrdiff_t>(glyph.end() - first, kCellWidth);
    std::copy(first, last, cell.begin());
}

GlyphCell selectGlyph(std::array<std::uint8_t, 2> code) { return cellOf(glyphSourceOf(code)); }

std::optional<std::array<std::uint8_t, 2>> glyphOwnerOf(std::array<std::uint8_t, 2> code) {
    const GlyphSource source = glyphSourceOf(code);
    if (isEmptyCell(cellOf(source))) return std::nullopt;
    if (source.place >= 0) return shiftJisOfPlace(source.place);
    return firstCodeDrawnFrom(source);
}

}  // namespace kvz
