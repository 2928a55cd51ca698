// Plain helpers for the glyph tests: glyph lookup, left alignment and a
// bit-by-bit packer written independently of the module's own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "glyph/glyph.h"

namespace kvz::testing {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes glyphOf(const std::array<std::uint8_t, N>& font, std::size_t width, std::size_t index) {
    return Bytes(font.begin() + static_cast<std::ptrdiff_t>(index * width),
                 font.begin() + static_cast<std::ptrdiff_t>((index + 1) * width));
}

inline bool isEmpty(std::span<const std::uint8_t> glyph) {
    for (std::uint8_t column : glyph) {
        if (column != 0) return false;
    }
    return true;
}

// The glyph shifted left past its empty leading columns, in a 7-column cell.
inline GlyphCell leftAligned(std::span<const std::uint8_t> glyph) {
    GlyphCell cell{};
    std::size_t from = 0;
    while (from < glyph.size() && glyph[from] == 0) ++from;
    for (std::size_t x = from; x < glyph.size(); ++x) cell[x - from] = glyph[x];
    return cell;
}

// Shift_JIS bytes of a JIS X 0208 code given as row byte and column byte.
inline std::array<std::uint8_t, 2> shiftJisOf(int rowByte, int columnByte) {
    const int row = rowByte - 0x20;
    const int column = columnByte - 0x20;
    const int lead = (row - 1) / 2 + (row <= 62 ? 0x81 : 0xC1);
    const int trail = row % 2 == 1 ? column + 0x3F + (column >= 64 ? 1 : 0) : column + 0x9E;
    return {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
}

// Scatters every bit to its place: value i, bit b goes to byte
// 7 * (i / 8) + (6 - b), bit i % 8.
inline Bytes packBitByBit(std::span<const std::uint8_t> values) {
    Bytes packed((values.size() + 7) / 8 * 7, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        for (int b = 0; b < 7; ++b) {
            if ((values[i] >> b & 1) != 0) {
                packed[i / 8 * 7 + static_cast<std::size_t>(6 - b)] |=
                    static_cast<std::uint8_t>(1u << (i % 8));
            }
        }
    }
    return packed;
}

}  // namespace kvz::testing
