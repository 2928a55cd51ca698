// The optimising encoder on many decks: random ones (small alphabets so that
// phrases form, short texts so that phrase codes fit one byte, many
// characters so that values reach their limits) and every bundled example.
// Each result must say exactly what the default encoding says, keep every
// limit, never be larger, and come out the same every time.
#include <gtest/gtest.h>

#include <random>

#include "best_support.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::DeckShape;
using testing::Encoded;
using testing::randomDeck;

bool standsInSomeText(const std::vector<std::uint16_t>& phrase,
                      const std::vector<std::vector<std::uint16_t>>& texts) {
    return std::any_of(texts.begin(), texts.end(), [&](const auto& text) {
        return std::search(text.begin(), text.end(), phrase.begin(), phrase.end()) != text.end();
    });
}

// Every promise of encodeBest, checked without its own code.
void expectGoodBestEncoding(const KvzFile& file) {
    const Encoded standard = testing::encodeStandard(file);
    const Encoded best{encodeBest(standard.encoding, standard.frame), standard.frame};
    const testing::Reading theirs = testing::readEncoding(standard);
    const testing::Reading ours = testing::readEncoding(best);

    EXPECT_EQ(ours.texts, theirs.texts);
    EXPECT_LE(ours.longestPhraseLine, 116u);
    EXPECT_LE(ours.deepestNesting, theirs.deepestNesting);
    EXPECT_TRUE(ours.everyPhraseUsed);
    for (const auto& spelled : ours.phraseSpellings) EXPECT_TRUE(standsInSomeText(spelled, ours.texts));
    std::vector<std::uint16_t> ourChars, theirChars;
    for (const CharEntry& e : best.encoding.charTable) ourChars.push_back(static_cast<std::uint16_t>(e.code[0] << 8 | e.code[1]));
    for (const CharEntry& e : standard.encoding.charTable) theirChars.push_back(static_cast<std::uint16_t>(e.code[0] << 8 | e.code[1]));
    std::sort(ourChars.begin(), ourChars.end());
    std::sort(theirChars.begin(), theirChars.end());
    EXPECT_EQ(ourChars, theirChars);

    const std::size_t ourBytes = testing::streamBytes(best), theirBytes = testing::streamBytes(standard);
    EXPECT_LE(ourBytes, theirBytes);
    if (best.encoding.codeLines != standard.encoding.codeLines) {
        EXPECT_LT(ourBytes, theirBytes);
    }
    EXPECT_TRUE(checkEncodingLimits(best.encoding, standard.encoding, standard.frame).ok());

    const TextEncoding again = encodeBest(standard.encoding, standard.frame);
    EXPECT_EQ(again.codeLines, best.encoding.codeLines);
    EXPECT_EQ(again.charTable.size(), best.encoding.charTable.size());
    for (std::size_t i = 0; i < again.charTable.size(); ++i)
        EXPECT_EQ(again.charTable[i].code, best.encoding.charTable[i].code);
}

struct RandomCase {
    DeckShape shape;
    unsigned seed;
};

class BestOnRandomDecks : public ::testing::TestWithParam<RandomCase> {};

TEST_P(BestOnRandomDecks, KeepsEveryPromise) { expectGoodBestEncoding(randomDeck(GetParam().shape, GetParam().seed)); }

std::vector<RandomCase> randomCases() {
    std::vector<RandomCase> cases;
    for (const DeckShape& shape : testing::kDeckShapes)
        for (unsigned seed = 1; seed <= 8; ++seed) cases.push_back({shape, seed});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Shapes, BestOnRandomDecks, ::testing::ValuesIn(randomCases()),
                         [](const auto& info) {
                             return std::string(info.param.shape.name) + "_" + std::to_string(info.param.seed);
                         });

class BestOnExamples : public ::testing::TestWithParam<const char*> {};

TEST_P(BestOnExamples, KeepsEveryPromise) {
    auto file = readKvzBytes(testing::bundledDeckBytes(GetParam()));
    ASSERT_TRUE(file.ok()) << file.reason();
    expectGoodBestEncoding(*file);
}

INSTANTIATE_TEST_SUITE_P(Bundled, BestOnExamples, ::testing::ValuesIn(testing::kBundledDecks),
                         [](const auto& info) { return testing::bundledDeckName(info.param); });

std::size_t packed(std::size_t values) { return (values + 7) / 8 * 7; }

// The reason for --best: the largest bundled deck's packed stream shrinks by
// at least 5%.
TEST(BestOnLargeDeck, AtLeastFivePercentSmaller) {
    auto file = readKvzBytes(testing::readFileBytes(testing::sourcePath("examples/large.kvz")));
    ASSERT_TRUE(file.ok());
    const Encoded standard = testing::encodeStandard(*file);
    const Encoded best{encodeBest(standard.encoding, standard.frame), standard.frame};
    const std::size_t ourBytes = packed(testing::streamBytes(best)), theirBytes = packed(testing::streamBytes(standard));
    std::printf("large deck packed stream: default %zu bytes, best %zu bytes (%.2f%% less)\n", theirBytes, ourBytes,
                100.0 * static_cast<double>(theirBytes - ourBytes) / static_cast<double>(theirBytes));
    EXPECT_LE(ourBytes * 100, theirBytes * 95);
}

}  // namespace
}  // namespace kvz
