// Inputs the fuzz targets found, kept as tests.
#include <gtest/gtest.h>

#include "decode/decode.h"
#include "decode/image_builder.h"
#include "input/kvz.h"

namespace kvz {
namespace {

// convert_fuzz: a deck with the box-drawing character ┃ (0x84AB), whose
// font glyph has an eighth pixel row (column bytes FF FF). The image carries
// seven rows only, so the cell holds 7F 7F; verification compared it with
// the whole font glyph and refused a correct image.
TEST(FuzzFindings, GlyphWithAnEighthRowVerifies) {
    const std::array<std::uint8_t, 2> heavyBar{0x84, 0xAB};
    const GlyphCell glyph = selectGlyph(heavyBar);
    ASSERT_EQ(glyph[0], 0xFF);  // the case: bit 7 set in the font

    KvzFile deck;
    for (int g = 0; g < 8; ++g) {
        deck.textBlock.insert(deck.textBlock.end(), {0x84, 0xAB, 0x00});
    }
    deck.textBlock.push_back(0);
    const CharTable table{{heavyBar, 8}};
    testing::StreamBuilder stream;
    stream.header(2, 0);
    for (int g = 0; g < 8; ++g) stream.line({0}).value(0).value(0);
    const std::vector<GlyphCell> cells{glyph};
    const std::vector<std::uint8_t> image = testing::buildImage(stream.bytes, cells);

    auto decoded = decodeImage(image, kLoadAddress);
    ASSERT_TRUE(decoded.ok()) << decoded.reason();
    EXPECT_EQ(decoded->cells[0], (GlyphCell{0x7F, 0x7F, 0, 0, 0, 0, 0}));
    const Status status = verifyImage(image, kLoadAddress, deck, table);
    EXPECT_TRUE(status.ok()) << status.reason();

    // A pixel really lost from the seven carried rows is still caught.
    std::vector<std::uint8_t> damaged = image;
    damaged.back() ^= 0x01;
    EXPECT_FALSE(verifyImage(damaged, kLoadAddress, deck, table).ok());
}

}  // namespace
}  // namespace kvz
