// Glyph image: the built-in fonts, the glyph cell of each character, the
// packing of 7-bit values eight into seven bytes, and the image layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/layout.h"
#include "common/result.h"
#include "compress/compress.h"

namespace kvz {

// Column bytes, left to right; bit 0 is the top pixel row.
extern const std::array<std::uint8_t, 256 * 3> font4x8;     // JIS X 0201, 3 columns
extern const std::array<std::uint8_t, 8836 * 5> fontK6x8;   // JIS X 0208, 5 columns
extern const std::array<std::uint8_t, 8836 * 7> fontMisaki; // JIS X 0208, 7 columns

inline constexpr std::size_t kCellWidth = 7;
using GlyphCell = std::array<std::uint8_t, kCellWidth>;

// Copies the glyph into the cell without its leading empty columns.
void writeFont(GlyphCell& cell, std::span<const std::uint8_t> glyph);
// The cell of a CharTable code (Shift_JIS bytes); empty where no font has it.
GlyphCell selectGlyph(std::array<std::uint8_t, 2> code);

// The two-byte Shift_JIS code whose glyph selectGlyph draws for `code`, or
// nothing when the cell is empty. For a Shift_JIS code, the code itself. A
// lead byte with a byte that is no trail byte (0x9001, 0x907F) is taken for
// the code at the place of the JIS grid that the conversion reaches (0x9145,
// 0x9080), drawn in the font of the row it started in (so 0x8111 gets the
// five-column glyph of 0x8255); a narrow glyph reached by a column beyond
// the grid is named by the first code that has it (0x8201: 0x8396).
std::optional<std::array<std::uint8_t, 2>> glyphOwnerOf(std::array<std::uint8_t, 2> code);

// Appends the values packed eight into seven bytes (bit 7 dropped, a short
// last group padded with zeros); returns the number of bytes appended.
std::size_t write7(std::vector<std::uint8_t>& destination, std::span<const std::uint8_t> values);

// Bytes of the image that encode7 builds from a stream of `streamValues`
// values and a table of `characters` characters.
std::uint64_t imageSizeFor(std::uint64_t streamValues, std::uint64_t characters);

// Header (0, 0, glyph area address), packed stream, packed glyph cells of
// every table entry. Fails when the image would not fit below 0x10000.
Result<std::vector<std::uint8_t>> encode7(std::uint32_t loadAddress, const CharTable& table,
                                          std::span<const std::uint8_t> stream);

}  // namespace kvz
