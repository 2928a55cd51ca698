// The PNG writer of builds without libpng (the page, Windows), read back by
// libpng: every pixel as written, at every scale, for bitmaps like sheets and
// for noise.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/png_runs.h"
#include "support/png_read.h"

namespace kvz {
namespace {

#ifdef KVZPACK_HAVE_PNG

GrayBitmap scaled(const GrayBitmap& bitmap, std::size_t factor) {
    GrayBitmap big{bitmap.width * factor, bitmap.height * factor, {}};
    big.pixels.resize(big.width * big.height);
    for (std::size_t y = 0; y < big.height; ++y)
        for (std::size_t x = 0; x < big.width; ++x) big.at(x, y) = bitmap.at(x / factor, y / factor);
    return big;
}

enum class Kind { noise, sheet, runs };

struct BitmapCase {
    std::size_t width;
    std::size_t height;
    Kind kind;
};

// Paper with some ink and labels, and rows repeated, as on a sheet; long
// runs past a deflate match; or every byte at random.
GrayBitmap makeBitmap(const BitmapCase& c, unsigned seed) {
    std::mt19937 random(seed);
    GrayBitmap bitmap{c.width, c.height, std::vector<std::uint8_t>(c.width * c.height)};
    for (std::size_t y = 0; y < c.height; ++y)
        for (std::size_t x = 0; x < c.width; ++x) {
            const unsigned r = random() % 100;
            std::uint8_t& pixel = bitmap.at(x, y);
            if (c.kind == Kind::noise) pixel = static_cast<std::uint8_t>(random());
            else if (c.kind == Kind::runs) pixel = (x / 300) % 2 ? kInk : kPaper;
            else if (y % 3 == 2 && y > 0) pixel = bitmap.at(x, y - 1);
            else pixel = r < 80 ? kPaper : r < 95 ? kInk : kLabelInk;
        }
    return bitmap;
}

class RunLengthPng : public ::testing::TestWithParam<std::tuple<BitmapCase, int>> {};

TEST_P(RunLengthPng, ReadsBackAsTheScaledBitmap) {
    const auto [c, scale] = GetParam();
    const GrayBitmap bitmap = makeBitmap(c, static_cast<unsigned>(c.width * 31 + c.height));
    const GrayBitmap read = readPng(encodeRunLengthPng(bitmap, scale));
    const GrayBitmap expected = scaled(bitmap, static_cast<std::size_t>(scale));
    EXPECT_EQ(read.width, expected.width);
    EXPECT_EQ(read.height, expected.height);
    EXPECT_TRUE(read.pixels == expected.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, RunLengthPng,
    ::testing::Combine(::testing::Values(BitmapCase{1, 1, Kind::sheet}, BitmapCase{7, 3, Kind::noise},
                                         BitmapCase{300, 20, Kind::sheet}, BitmapCase{1200, 5, Kind::runs},
                                         BitmapCase{97, 40, Kind::noise}),
                       ::testing::Values(1, 2, 3, 4)));

#endif

}  // namespace
}  // namespace kvz
