// A deck back from its image: the text that dumpImageDeck writes builds into
// a deck whose image the decoder draws as the first, text for text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/layout.h"
#include "core/convert.h"
#include "core/image_deck.h"
#include "decode/decode.h"
#include "deck/deck.h"
#include "input/kvz.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

DecodedImage imageOf(const std::vector<std::uint8_t>& kvz) {
    const Result<KvzFile> deck = readKvzBytes(kvz);
    EXPECT_TRUE(deck.ok()) << deck.reason();
    const Result<Conversion> conversion = convertKvz(*deck);
    EXPECT_TRUE(conversion.ok()) << conversion.reason();
    Result<DecodedImage> decoded = decodeImage(conversion->image, kLoadAddress);
    EXPECT_TRUE(decoded.ok()) << decoded.reason();
    return std::move(decoded.value());
}

// Every text of the image as the glyph cells the device draws.
std::vector<std::vector<GlyphCell>> drawnTexts(const DecodedImage& image) {
    std::vector<StoredText> texts;
    for (const DecodedGroup& group : image.groups) texts.push_back(group.name);
    for (const auto& entry : image.entries) texts.insert(texts.end(), entry.begin(), entry.end());
    std::vector<std::vector<GlyphCell>> drawn;
    for (const StoredText& text : texts) {
        const Result<std::vector<std::uint16_t>> codes = expandText(image, text);
        EXPECT_TRUE(codes.ok()) << codes.reason();
        std::vector<GlyphCell> cells;
        for (const std::uint16_t code : *codes) cells.push_back(image.cells.at(code));
        drawn.push_back(std::move(cells));
    }
    return drawn;
}

class ImageDecks : public ::testing::TestWithParam<std::string> {};

TEST_P(ImageDecks, BuildBackIntoAnImageDrawnTheSame) {
    const std::string tsv = testing::readFileText(testing::sourcePath("examples/" + GetParam() + ".tsv"));
    const DecodedImage original = imageOf(testing::deckFromTsv(tsv));
    const Result<std::string> dumped = dumpImageDeck(original);
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    const Result<BuiltDeck> rebuilt = buildDeck(*dumped);
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.reason();
    const DecodedImage again = imageOf(rebuilt->kvz);
    for (std::size_t g = 0; g < kGroupCount; ++g) EXPECT_EQ(again.groups[g].entryCount, original.groups[g].entryCount);
    EXPECT_EQ(drawnTexts(again), drawnTexts(original));
}

INSTANTIATE_TEST_SUITE_P(Examples, ImageDecks, ::testing::Values("example", "sample", "large"));

// Full-width letters, voiced kana, spaces: each is written in the form that
// normalises to it again, so that the texts still fit their fields.
TEST(ImageDecks, TextsThatNormaliseLongerStillFit) {
    const std::string longField(116, 'a');
    const std::string tsv = "G\n" + longField + "\tｶﾞｷﾞ\tガ ギ\t１\tx\\\\y\t¥\n" + "H\nI\nJ\nK\nL\nM\nN\n";
    const DecodedImage original = imageOf(testing::deckFromTsv(tsv));
    const Result<std::string> dumped = dumpImageDeck(original);
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    const Result<BuiltDeck> rebuilt = buildDeck(*dumped);
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.reason() << "\n" << *dumped;
    EXPECT_EQ(drawnTexts(imageOf(rebuilt->kvz)), drawnTexts(original));
}

}  // namespace
}  // namespace kvz
