// A PNG writer of its own, for builds without libpng (the page, Windows):
// 8-bit greyscale, compressed with deflate using only runs of a repeated
// byte, which is what a preview sheet is made of.
#pragma once

#include <cstdint>
#include <vector>

#include "core/preview.h"

namespace kvz {

// The bitmap, every pixel scaled to a square of `scale` pixels (scale >= 1),
// as the bytes of a PNG file. Its pixels are those that libpng writes for the
// same bitmap; its bytes are not.
std::vector<std::uint8_t> encodeRunLengthPng(const GrayBitmap& bitmap, int scale);

}  // namespace kvz
