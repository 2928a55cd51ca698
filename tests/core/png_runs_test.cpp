// The preview's PNG writer, read back by libpng: every pixel as written, at
// every scale, for bitmaps like sheets, for noise, for symbol frequencies
// whose plain Huffman code would be longer than deflate allows, and for the
// sheet of the largest example.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/layout.h"
#include "core/convert.h"
#include "core/png_runs.h"
#include "decode/decode.h"
#include "support/fixtures.h"
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

enum class Kind { noise, sheet, runs, fibonacci };

struct BitmapCase {
    std::size_t width;
    std::size_t height;
    Kind kind;
};

// Pixels whose differences from their left neighbours are the values 1 to
// 25, value k as often as the k-th Fibonacci number, never twice in a row
// (a row of 196417 pixels, within libpng's width limit at every scale):
// a plain Huffman code of these literals is 24 bits deep.
GrayBitmap fibonacciDifferences(std::size_t height) {
    std::vector<std::uint64_t> left{1, 1};
    while (left.size() < 25) left.push_back(left[left.size() - 1] + left[left.size() - 2]);
    std::vector<std::uint8_t> row{0};
    std::size_t previous = left.size();
    for (;;) {
        std::size_t pick = left.size();
        for (std::size_t k = 0; k < left.size(); ++k)
            if (k != previous && left[k] > 0 && (pick == left.size() || left[k] > left[pick])) pick = k;
        if (pick == left.size()) break;
        --left[pick];
        row.push_back(static_cast<std::uint8_t>(row.back() + pick + 1));
        previous = pick;
    }
    GrayBitmap bitmap{row.size(), height, {}};
    for (std::size_t y = 0; y < height; ++y) bitmap.pixels.insert(bitmap.pixels.end(), row.begin(), row.end());
    return bitmap;
}

// Paper with some ink and labels, and rows repeated, as on a sheet; long
// runs past a deflate match; every byte at random; or skewed differences.
GrayBitmap makeBitmap(const BitmapCase& c, unsigned seed) {
    if (c.kind == Kind::fibonacci) return fibonacciDifferences(c.height);
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
    ASSERT_EQ(read.width, expected.width);
    EXPECT_EQ(read.height, expected.height);
    EXPECT_TRUE(read.pixels == expected.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, RunLengthPng,
    ::testing::Combine(::testing::Values(BitmapCase{1, 1, Kind::sheet}, BitmapCase{7, 3, Kind::noise},
                                         BitmapCase{300, 20, Kind::sheet}, BitmapCase{1200, 5, Kind::runs},
                                         BitmapCase{97, 40, Kind::noise}, BitmapCase{0, 2, Kind::fibonacci}),
                       ::testing::Values(1, 2, 3, 4)));

// The sheet that --preview draws for examples/large.kvz, as encodePng writes
// it: 57 million pixels of paper, ink, labels and rules.
TEST(RunLengthPng, TheLargeExamplesSheetReadsBackPixelForPixel) {
    const std::string tsv = testing::readFileText(testing::sourcePath("examples/large.tsv"));
    const Result<KvzFile> deck = readKvzBytes(testing::deckFromTsv(tsv));
    ASSERT_TRUE(deck.ok()) << deck.reason();
    const Result<Conversion> conversion = convertKvz(*deck);
    ASSERT_TRUE(conversion.ok()) << conversion.reason();
    const Result<DecodedImage> decoded = decodeImage(conversion->image, kLoadAddress);
    ASSERT_TRUE(decoded.ok()) << decoded.reason();
    const Result<PreviewSheet> sheet = drawPreviewSheet(*decoded);
    ASSERT_TRUE(sheet.ok()) << sheet.reason();
    const Result<std::vector<std::uint8_t>> png = encodePng(sheet->bitmap, kPreviewScale);
    ASSERT_TRUE(png.ok()) << png.reason();
    const GrayBitmap read = readPng(*png);
    const GrayBitmap expected = scaled(sheet->bitmap, kPreviewScale);
    ASSERT_EQ(read.width, expected.width);
    ASSERT_EQ(read.height, expected.height);
    EXPECT_TRUE(read.pixels == expected.pixels);
}

#endif

}  // namespace
}  // namespace kvz
