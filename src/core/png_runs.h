// The preview's PNG writer, the same in every build (the programs, the page):
// 8-bit greyscale, compressed with deflate using only runs of a repeated
// byte, which is what a preview sheet is made of. Its work follows the
// sheet's unscaled pixels, so it costs a small part of what a general
// compressor spends on the scaled rows.
#pragma once

#include <cstdint>
#include <vector>

#include "core/preview.h"

namespace kvz {

// The bitmap, every pixel scaled to a square of `scale` pixels (scale >= 1),
// as the bytes of a PNG file: one deflate block whose Huffman codes fit its
// symbols, no code longer than deflate's 15 bits.
std::vector<std::uint8_t> encodeRunLengthPng(const GrayBitmap& bitmap, int scale);

}  // namespace kvz
