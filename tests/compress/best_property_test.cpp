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

using testing::Encoded;

// A random deck drawn directly as its texts.
struct DeckShape {
    const char* name;
    int entries;
    int alphabet;        // distinct two-byte characters to draw from
    int longestLong;     // characters of a long field (at most 58)
    int longestShort;    // characters of a short field (at most 14)
    bool words;          // texts built from a few repeated words
};

std::uint16_t charNumber(int n) {
    // Two-byte characters 0x8890 on: 60 lead bytes x 188 trail bytes.
    const int lead = 0x88 + n / 188;
    const int trailIndex = n % 188;
    const int trail = 0x40 + trailIndex + (trailIndex >= 0x3F ? 1 : 0);  // skip 0x7F
    return static_cast<std::uint16_t>((lead > 0x9F ? lead + 0x40 : lead) << 8 | trail);
}

KvzFile randomDeck(const DeckShape& shape, unsigned seed) {
    std::mt19937 random(seed);
    auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<std::vector<int>> words;
    for (int w = 0; w < 24; ++w) {
        std::vector<int> word;
        const int length = 2 + below(5);
        for (int i = 0; i < length; ++i) word.push_back(below(shape.alphabet));
        words.push_back(word);
    }
    KvzFile file;
    auto addText = [&](int longest) {
        const int length = 1 + below(longest);
        std::vector<int> chars;
        while (static_cast<int>(chars.size()) < length) {
            if (shape.words && below(4) != 0) {
                const auto& word = words[static_cast<std::size_t>(below(static_cast<int>(words.size())))];
                chars.insert(chars.end(), word.begin(), word.end());
            } else {
                chars.push_back(below(shape.alphabet));
            }
        }
        chars.resize(static_cast<std::size_t>(length));
        for (int c : chars) {
            const std::uint16_t code = charNumber(c);
            file.textBlock.push_back(static_cast<std::uint8_t>(code >> 8));
            file.textBlock.push_back(static_cast<std::uint8_t>(code & 0xFF));
        }
        file.textBlock.push_back(0);
    };
    for (int g = 0; g < 8; ++g) addText(8);
    int left = shape.entries;
    for (int g = 0; g < 8; ++g) {
        const int count = g == 7 ? left : below(left / (8 - g) * 2 + 1);
        file.groupCounts[static_cast<std::size_t>(g)] = static_cast<std::uint32_t>(std::min(count, left));
        left -= static_cast<int>(file.groupCounts[static_cast<std::size_t>(g)]);
    }
    for (int e = 0; e < shape.entries; ++e) {
        addText(shape.longestLong);
        for (int f = 0; f < 5; ++f) addText(shape.longestShort);
    }
    file.textBlock.push_back(0);
    return file;
}

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

constexpr DeckShape kShapes[] = {
    {"SmallAlphabet", 40, 6, 40, 10, false},
    {"Words", 60, 30, 58, 14, true},
    {"ShortTextsFewCodes", 30, 12, 6, 6, true},  // F < B: one-byte phrase codes
    {"TinyDeck", 1, 4, 20, 5, true},
    {"ManyCharacters", 300, 6000, 58, 14, true},  // low one-byte limit
    {"ManyEntries", 300, 300, 10, 4, true},  // group values near their limit
};

struct RandomCase {
    DeckShape shape;
    unsigned seed;
};

class BestOnRandomDecks : public ::testing::TestWithParam<RandomCase> {};

TEST_P(BestOnRandomDecks, KeepsEveryPromise) { expectGoodBestEncoding(randomDeck(GetParam().shape, GetParam().seed)); }

std::vector<RandomCase> randomCases() {
    std::vector<RandomCase> cases;
    for (const DeckShape& shape : kShapes)
        for (unsigned seed = 1; seed <= 8; ++seed) cases.push_back({shape, seed});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Shapes, BestOnRandomDecks, ::testing::ValuesIn(randomCases()),
                         [](const auto& info) {
                             return std::string(info.param.shape.name) + "_" + std::to_string(info.param.seed);
                         });

class BestOnExamples : public ::testing::TestWithParam<const char*> {};

TEST_P(BestOnExamples, KeepsEveryPromise) {
    auto file = readKvzBytes(testing::readFileBytes(testing::sourcePath(std::string("examples/") + GetParam())));
    ASSERT_TRUE(file.ok()) << file.reason();
    expectGoodBestEncoding(*file);
}

INSTANTIATE_TEST_SUITE_P(Bundled, BestOnExamples, ::testing::Values("example.kvz", "sample.kvz", "large.kvz"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

std::size_t packed(std::size_t values) { return (values + 7) / 8 * 7; }

// The reason for --best: the largest bundled deck's stream shrinks by at
// least 5%.
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
