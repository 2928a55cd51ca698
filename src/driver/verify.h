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

// The image bytes of an Intel HEX file, every record's checksum verified;
// refused unless its data starts at the load address. Fails with
// FailureKind::cannotOpen when the file cannot be opened.
Result<std::vector<std::uint8_t>> readImageFile(const std::string& path);

// Reads back the image written to `path` (expected: `imageSize` bytes) and
// checks that every text, group and glyph cell in it is the deck's. Gives
// the bytes read.
Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table);

}  // namespace kvz
