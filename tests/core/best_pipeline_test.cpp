// --best through the whole conversion: every image it makes, read by the
// independent decoder, says exactly what the default image says, passes
// the same verification, is never larger, and is the same every time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
