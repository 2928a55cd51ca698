// Reading images back from their Intel HEX text: the image as the device's
// loader reads it, and the check that a freshly formatted image says what
// its deck says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "input/kvz.h"

namespace kvz {

// The image bytes of an Intel HEX text, every record's checksum verified;
// refused unless its data starts at the load address.
Result<std::vector<std::uint8_t>> imageFromHexText(std::string_view text);

// Reads back the image from `hexText` (expected: `imageSize` bytes) and
// checks that every text, group and glyph cell in it is the deck's. Gives
// the bytes read.
Result<std::vector<std::uint8_t>> verifyHexText(std::string_view hexText, std::size_t imageSize,
                                                const KvzFile& deck, const CharTable& table);

}  // namespace kvz
