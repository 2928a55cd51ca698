// --best through the whole conversion: every image it makes, read by the
// independent decoder, says exactly what the default image says, passes
// the same verification, is never larger, and is the same every time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/layout.h"
#include "compress/best_support.h"
#include "core/convert.h"
#include "decode/decode.h"
#include "glyph/glyph.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

// Every group name and entry text of an image, as the characters (two code
// bytes each) its codes stand for.
std::vector<std::vector<std::uint16_t>> decodedTexts(const Conversion& conversion) {
    auto decoded = decodeImage(conversion.image, kLoadAddress);
    EXPECT_TRUE(decoded.ok()) << decoded.reason();
    if (!decoded) return {};
    std::vector<const StoredText*> stored;
    for (const DecodedGroup& group : decoded->groups) stored.push_back(&group.name);
    for (const auto& entry : decoded->entries)
        for (const StoredText& text : entry) stored.push_back(&text);
    std::vector<std::vector<std::uint16_t>> texts;
    for (const StoredText* text : stored) {
        auto codes = expandText(*decoded, *text);
        EXPECT_TRUE(codes.ok()) << codes.reason();
        if (!codes) return {};
        std::vector<std::uint16_t> characters;
        for (std::uint16_t code : *codes) {
            const auto& bytes = conversion.charTable.at(code).code;
            characters.push_back(static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]));
        }
        texts.push_back(characters);
    }
    return texts;
}

void expectBestImageGood(const KvzFile& deck) {
    auto standard = convertKvz(deck);
    ASSERT_TRUE(standard.ok()) << standard.reason();
    auto best = convertKvz(deck, {}, Encoder::best);
    ASSERT_TRUE(best.ok()) << best.reason();
    EXPECT_EQ(decodedTexts(*best), decodedTexts(*standard));
    const Status verified = verifyImage(best->image, kLoadAddress, deck, best->charTable);
    EXPECT_TRUE(verified.ok()) << verified.reason();
    EXPECT_LE(best->image.size(), standard->image.size());
    EXPECT_EQ(best->standardStreamValues, standard->stream.size());
    auto again = convertKvz(deck, {}, Encoder::best);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->image, best->image);
}

class BestPipelineOnExamples : public ::testing::TestWithParam<const char*> {};

TEST_P(BestPipelineOnExamples, DecodesToTheDefaultTexts) {
    auto deck = readKvzBytes(testing::bundledDeckBytes(GetParam()));
    ASSERT_TRUE(deck.ok()) << deck.reason();
    expectBestImageGood(*deck);
}

INSTANTIATE_TEST_SUITE_P(Bundled, BestPipelineOnExamples, ::testing::ValuesIn(testing::kBundledDecks),
                         [](const auto& info) { return testing::bundledDeckName(info.param); });

class BestPipelineOnRandomDecks : public ::testing::TestWithParam<unsigned> {};

TEST_P(BestPipelineOnRandomDecks, DecodesToTheDefaultTexts) {
    const testing::DeckShape shapes[] = {
        {"Words", 50, 30, 58, 14, true},
        {"ShortTexts", 30, 12, 6, 6, true},
        {"ManyCharacters", 200, 3000, 58, 14, true},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        expectBestImageGood(testing::randomDeck(shape, GetParam()));
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, BestPipelineOnRandomDecks, ::testing::Range(1u, 7u));

// Real entries repeated and shuffled (four copies of the large deck's): its
// search runs until the budget stops it, and the image is as good as ever.
TEST(BestPipeline, RepeatedEntriesWithinTheBudget) {
    auto deck = readKvzBytes(testing::repeatedEntries(testing::bundledDeckBytes("large.kvz"), 4, 1));
    ASSERT_TRUE(deck.ok()) << deck.reason();
    expectBestImageGood(*deck);
}

// Near the device's limit the group table's values (up to 2450 here) need
// the codes the default's phrases give; --best keeps fewer phrases and
// writes its stream under the lower limit that holds them, so that it still
// saves what it saves on a smaller deck, also on decks past the device.
class BestNearTheLimit : public ::testing::TestWithParam<std::size_t> {};

TEST_P(BestNearTheLimit, SavesOnEveryManyKanjiTable) {
    auto deck = readKvzBytes(testing::manyKanjiDeck(GetParam(), 1500, 1));
    ASSERT_TRUE(deck.ok()) << deck.reason();
    const auto standard = measureImage(*deck, Encoder::standard);
    const auto best = measureImage(*deck, Encoder::best);
    ASSERT_TRUE(standard.ok()) << standard.reason();
    ASSERT_TRUE(best.ok()) << best.reason();
    EXPECT_LT(static_cast<double>(best->streamBytes), 0.97 * static_cast<double>(standard->streamBytes));
    if (standard->imageBytes <= kImageCapacity) {
        expectBestImageGood(*deck);
    } else if (best->imageBytes <= kImageCapacity) {  // --best alone makes it fit
        auto image = convertKvz(*deck, {}, Encoder::best);
        ASSERT_TRUE(image.ok()) << image.reason();
        const Status verified = verifyImage(image->image, kLoadAddress, *deck, image->charTable);
        EXPECT_TRUE(verified.ok()) << verified.reason();
    }
}

INSTANTIATE_TEST_SUITE_P(Cards, BestNearTheLimit, ::testing::Values(1500, 2000, 2450, 2600, 2800));

// The default path is untouched by the option: without it, the image is the
// one the default encoding gives.
TEST(BestPipeline, DefaultEncoderKeepsTheDefaultImage) {
    auto deck = readKvzBytes(testing::readFileBytes(testing::sourcePath("examples/sample.kvz")));
    ASSERT_TRUE(deck.ok());
    auto conversion = convertKvz(*deck);
    ASSERT_TRUE(conversion.ok());
    const testing::Encoded standard = testing::encodeStandard(*deck);
    EXPECT_EQ(conversion->codeLines, standard.encoding.codeLines);
    EXPECT_EQ(conversion->stream.size(), conversion->standardStreamValues);
}

}  // namespace
}  // namespace kvz
