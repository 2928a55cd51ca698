// What an image holds, as text: its summary, and its texts drawn for a
// terminal with block characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "decode/decode.h"

namespace kvz {

// What is drawn of an image: a group's name (entry < 0) or entry N of group G,
// entries numbered from 0 within their group.
struct EntrySelection {
    int group = 0;
    int entry = -1;
};

// How many glyph cells a drawn line holds before it wraps (77 columns).
inline constexpr std::size_t kCellsPerTerminalLine = 11;

// The texts of a decoded image by place: a group's name or an entry's
// field. Fails when the image's group table points past its entries.
Result<StoredText> storedTextAt(const DecodedImage& image, const TextPlace& place);

// Sizes, addresses, phrases, characters and the groups with their entry
// counts, one item per line.
Result<std::string> formatImageSummary(const std::string& name, std::span<const std::uint8_t> image,
                                       const DecodedImage& decoded);

// Draws character codes with their glyph cells, two pixel rows per line
// (upper half block, lower half block, full block, space), wrapping after
// `cellsPerLine` cells. Fails on a code without a cell.
Result<std::vector<std::string>> drawCells(const std::vector<GlyphCell>& cells,
                                           std::span<const std::uint16_t> codes,
                                           std::size_t cellsPerLine = kCellsPerTerminalLine);

// A group's name, or an entry's six texts, each under a heading line.
Result<std::string> drawSelection(const DecodedImage& decoded, const EntrySelection& selection);

}  // namespace kvz
