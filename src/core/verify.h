// Reading images back from their Intel HEX text, strictly, as one device
// image, and the check that a freshly formatted image says what its deck
// says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "decode/decode.h"
#include "input/kvz.h"

namespace kvz {

struct HexImage {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> warnings;  // "line N: ...": records the image does not need
};

// The image held by an Intel HEX text in the image reading (every record
// whole and checksummed, the data one block ended by an end record; the first
// fault is named by its line); refused unless its data starts at the load
// address.
Result<HexImage> imageFromHexText(std::string_view text);

// An image read back from its text and checked: its bytes, and the image as
// the check decoded it.
struct ReadBackImage {
    std::vector<std::uint8_t> bytes;
    DecodedImage decoded;
};

// Reads back the image from `hexText` (expected: `imageSize` bytes, and no
// warning) and checks that every text, group and glyph cell in it is the
// deck's.
Result<ReadBackImage> readBackHexText(std::string_view hexText, std::size_t imageSize, const KvzFile& deck,
                                      const CharTable& table);

// readBackHexText, giving the bytes read.
Result<std::vector<std::uint8_t>> verifyHexText(std::string_view hexText, std::size_t imageSize,
                                                const KvzFile& deck, const CharTable& table);

}  // namespace kvz
