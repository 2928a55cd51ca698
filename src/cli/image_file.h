// Image files written earlier or just now, read back through their text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/layout.h"
#include "common/result.h"
#include "compress/compress.h"
#include "core/bounds.h"
#include "core/verify.h"
#include "input/kvz.h"

namespace kvz {

// The text of an Intel HEX file, read once; a folder reads as holding no
// records. Fails with FailureKind::cannotOpen when the file cannot be opened
// or read. A file longer than kLongestImageText (core/bounds.h) is refused,
// having been read no further, with imageTextTooLarge().
Result<std::string> readImageText(const std::string& path);

// The image held by an Intel HEX file: imageFromHexText on readImageText.
Result<HexImage> readImageFile(const std::string& path);

// Reads the image file at `path` back from the file system, as it was
// written, and checks it (verifyHexText): every record whole, the image of
// `imageSize` bytes, and every text, group and glyph cell the deck's. Gives
// the bytes read. A reason starts "cannot read back the image written: "
// when the file cannot be read or is no such image.
Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table);

// verifyWrittenImage on the file at `imagePath`, and the numbered file at
// `numberedPath` read back too: it must hold exactly the numbered form of
// the image file's lines (checkNumberedText), or the reason starts "cannot
// read back the numbered text written: ".
Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& imagePath, const std::string& numberedPath,
                                                     std::size_t imageSize, const KvzFile& deck,
                                                     const CharTable& table);

}  // namespace kvz
