// Reading images back: an image file as the device's loader reads it, and
// the check that a freshly written image says what its deck says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "input/kvz.h"

namespace kvz {

struct ImageFile {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> warnings;  // "line N: ...": records the image does not need
};

// The image held by an Intel HEX file, read once and in the image reading
// (every record whole and checksummed, the data one block with an end record;
// the first fault is named by its line); refused unless its data starts at
// the load address. Fails with FailureKind::cannotOpen when the file cannot
// be opened.
Result<ImageFile> readImageFile(const std::string& path);

// Reads back the image written to `path` (expected: `imageSize` bytes) and
// checks that every text, group and glyph cell in it is the deck's. Gives
// the bytes read.
Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table);

}  // namespace kvz
