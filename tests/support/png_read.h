// The pixels of a PNG as 8-bit grey, read with libpng: the reader the tests
// check the written sheets against.
#pragma once

#ifdef KVZPACK_HAVE_PNG
#include <png.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/preview.h"

namespace kvz {

inline GrayBitmap readPng(const std::vector<std::uint8_t>& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) << image.message;
    image.format = PNG_FORMAT_GRAY;
    GrayBitmap bitmap;
    bitmap.width = image.width;
    bitmap.height = image.height;
    bitmap.pixels.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, bitmap.pixels.data(), 0, nullptr)) << image.message;
    png_image_free(&image);
    return bitmap;
}

}  // namespace kvz
#endif
