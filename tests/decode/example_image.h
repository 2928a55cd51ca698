// The whole-file example (examples/example.kvz) as its image lists it: the
// 57 stream values, their 56 packed bytes, the character table and the
// 95-byte image.
#pragma once

#include <cstdint>
#include <vector>

#include "compress/compress.h"
#include "decode/image_builder.h"
#include "glyph/glyph.h"

namespace kvz::testing {

// The example deck's 57 stream values and their 56 packed bytes, as listed
// for the whole-file example.
inline const std::vector<std::uint8_t> kExampleValues = {
    127, 13, 1, 4, 0, 3, 2, 4, 1, 0, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1,
    0, 1, 0, 1, 0, 1, 0, 1, 3, 1, 0, 3, 13, 13, 13, 1, 2, 1, 2, 1, 1, 2, 1, 1, 3, 1, 1, 1};
inline const std::vector<std::uint8_t> kExamplePackedStream = {
    0x01, 0x01, 0x01, 0x03, 0x8B, 0x61, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x75, 0x00, 0x00, 0x00, 0x0E, 0x0E, 0xA1, 0x5F,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0xFB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};

// Ａ, Ｅ, Ｃ, Ｂ, Ｄ: the example's characters in code order.
inline const CharTable kExampleTable = {{{0x82, 0x60}, 10}, {{0x82, 0x64}, 6}, {{0x82, 0x62}, 5},
                                        {{0x82, 0x61}, 4},  {{0x82, 0x63}, 3}};

inline std::vector<GlyphCell> cellsOf(const CharTable& table) {
    std::vector<GlyphCell> cells;
    for (const CharEntry& entry : table) cells.push_back(selectGlyph(entry.code));
    return cells;
}

inline std::vector<std::uint8_t> exampleImage() {
    std::vector<std::uint8_t> image;
    image.reserve(95);
    for (std::uint8_t byte : {0x00, 0x00, 0x0C, 0x06}) image.push_back(byte);
    image.insert(image.end(), kExamplePackedStream.begin(), kExamplePackedStream.end());
    const std::vector<GlyphCell> cells = cellsOf(kExampleTable);
    std::vector<std::uint8_t> strip;
    for (const GlyphCell& cell : cells) strip.insert(strip.end(), cell.begin(), cell.end());
    const std::vector<std::uint8_t> packedCells = pack7(strip);
    image.insert(image.end(), packedCells.begin(), packedCells.end());
    return image;
}

}  // namespace kvz::testing
