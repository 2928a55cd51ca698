// Image files written earlier or just now, read back through their text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "core/verify.h"
#include "input/kvz.h"

namespace kvz {

// The text of an Intel HEX file, read once; a folder reads as holding no
// records. Fails with FailureKind::cannotOpen when the file cannot be opened
// or read.
Result<std::string> readImageText(const std::string& path);

// The image held by an Intel HEX file: imageFromHexText on readImageText.
Result<HexImage> readImageFile(const std::string& path);

// Reads the image file at `path` back and checks it (verifyHexText). Gives
// the bytes read.
Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table);

}  // namespace kvz
