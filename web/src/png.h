// PNG files in memory for the page, where libpng is not at hand: 8-bit
// greyscale, compressed with deflate using only runs of a repeated byte.
#pragma once

#include <cstdint>
#include <vector>

#include "core/preview.h"

namespace kvz::web {

// The bitmap, every pixel scaled to a square of `scale` pixels (scale >= 1),
// as the bytes of a PNG file whose pixels are those that the native
// preview (encodePng, with libpng) writes.
std::vector<std::uint8_t> encodeSheetPng(const GrayBitmap& bitmap, int scale);

}  // namespace kvz::web
