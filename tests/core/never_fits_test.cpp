// Decks that no image can fit are refused without the work that a deck near
// the device's limit needs, and with the refusal of the full path.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "common/layout.h"
#include "compress/compress.h"
#include "core/convert.h"
#include "core/split.h"
#include "glyph/glyph.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Counts = std::array<std::uint16_t, kGroupCount>;

// Group g holds counts[g] entries; every text is one kanji.
Bytes oneKanjiTexts(const Counts& counts) { return testing::randomKanjiDeck(counts, 1, 1); }

std::size_t textLines(const KvzFile& deck) { return kGroupCount + kFieldsPerEntry * countEntries(deck); }

std::size_t distinctCharacters(const KvzFile& deck) {
    auto table = countChars(deck.textBlock);
    if (!table) throw std::runtime_error(table.reason());
    return table->size();
}

// The refusal as the full path makes it, every figure from a conversion of
// its own: the whole deck's image, the entries that fit, and --best tried on
// the whole deck.
std::string fullPathRefusal(const KvzFile& deck) {
    const auto whole = measureImage(deck, Encoder::standard);
    const auto best = measureImage(deck, Encoder::best);
    if (!whole || !best) throw std::runtime_error("the deck is refused before its image is measured");
    return "image of " + std::to_string(whole->imageBytes) + " bytes exceeds the device's 64048 bytes; the first " +
           std::to_string(entriesThatFit(deck, Encoder::standard)) + " of " + std::to_string(countEntries(deck)) +
           " entries fit" +
           (best->imageBytes <= kImageCapacity ? "; with --best all of them fit" : "; not all of them fit with --best either");
}

// 6206 entries: their 37244 one-code lines alone take more than the device
// holds, yet every value of the group table fits the stream of its 4000-odd
// codes, so the deck gets as far as the image's size.
const Counts kLinesAloneTooMany{1, 1, 1, 1, 1, 1, 3100, 3100};

TEST(NeverFits, LinesAloneRuleOutEveryImageAndTheRefusalIsTheFullPaths) {
    const KvzFile deck = testing::kvzFileOf(oneKanjiTexts(kLinesAloneTooMany));
    ASSERT_TRUE(noImageCanFit(textLines(deck), distinctCharacters(deck)));
    const auto converted = convertKvz(deck);
    ASSERT_FALSE(converted.ok());
    EXPECT_EQ(converted.reason(), fullPathRefusal(deck));
}

// At the edge: the first entries that fit still convert, and the bound does
// not rule them out; one entry more is refused.
TEST(NeverFits, TheEntriesThatFitStillConvert) {
    const KvzFile deck = testing::kvzFileOf(oneKanjiTexts(kLinesAloneTooMany));
    const std::size_t fitting = entriesThatFit(deck, Encoder::standard);
    ASSERT_GT(fitting, 0u);
    const KvzFile cut = firstEntries(deck, fitting);
    EXPECT_FALSE(noImageCanFit(textLines(cut), distinctCharacters(cut)));
    const auto converted = convertKvz(cut);
    ASSERT_TRUE(converted.ok()) << converted.reason();
    EXPECT_LE(converted->image.size(), kImageCapacity);
    EXPECT_FALSE(convertKvz(firstEntries(deck, fitting + 1)).ok());
}

// No stream is smaller than the bound, with either encoder, and a deck of
// one-character texts in one-byte values reaches it: the bound is exact.
TEST(NeverFits, NoImageIsSmallerThanTheBound) {
    std::vector<KvzFile> decks{testing::kvzFileOf(oneKanjiTexts({10, 0, 0, 0, 0, 0, 0, 0}))};
    for (const char* name : testing::kBundledDecks) decks.push_back(testing::kvzFileOf(testing::bundledDeckBytes(name)));
    for (const KvzFile& deck : decks)
        for (const Encoder encoder : {Encoder::standard, Encoder::best}) {
            const auto sizes = measureImage(deck, encoder);
            ASSERT_TRUE(sizes.ok()) << sizes.reason();
            EXPECT_GE(sizes->imageBytes, imageSizeFor(leastStreamValues(textLines(deck)), distinctCharacters(deck)));
        }
    // One-character texts, few characters and small groups: every value takes one byte.
    const KvzFile tight = testing::kvzFileOf(testing::deckFromTsv("A\nB\nC\nD\nE\nF\nG\nH\n"
                                                      "a\tb\tc\td\te\ta\n"
                                                      "b\tc\td\te\ta\tb\n"));
    for (const Encoder encoder : {Encoder::standard, Encoder::best}) {
        const auto sizes = measureImage(tight, encoder);
        ASSERT_TRUE(sizes.ok()) << sizes.reason();
        EXPECT_EQ(sizes->streamBytes, packedSize(leastStreamValues(textLines(tight))));
    }
}

// The stream of the default encoding, phrases searched: what the deck got
// before group tables were checked first.
Status fullPathStream(const KvzFile& deck) {
    auto table = countChars(deck.textBlock);
    KVZ_TRY(table);
    sortCharTable(*table);
    CodeLines lines = encode16(*table, deck.textBlock);
    const auto codesBefore = static_cast<std::uint16_t>(getCodes16(lines));
    const std::uint32_t textLines = getLines16(lines);
    substitutePhrases(lines, codesBefore);
    const auto phraseLines = static_cast<std::int32_t>(getLines16(lines) - textLines);
    auto stream = encode8(lines, phraseLines, codesBefore, deck.groupCounts);
    KVZ_TRY(stream);
    return success();
}

// A group table that no stream holds is refused before the phrase search
// starts, so that a deck of any size is refused at once; the full path
// refuses it too, after the search, for the same value or for its codes.
TEST(NeverFits, AGroupTableNoStreamHoldsIsRefusedBeforeThePhraseSearch) {
    const KvzFile deck = testing::kvzFileOf(oneKanjiTexts({16257, 0, 0, 0, 0, 0, 0, 0}));
    int stages = 0;
    const auto converted = convertKvz(deck, [&stages](int) { ++stages; });
    ASSERT_FALSE(converted.ok());
    EXPECT_EQ(converted.reason(),
              "group 0's entry count 16257 does not fit the stream: with any number of codes its values stop at 16256 "
              "or below; split the group, or the deck");
    EXPECT_EQ(stages, 0);
    const Status full = fullPathStream(deck);
    ASSERT_FALSE(full.ok());
    EXPECT_TRUE(full.reason().starts_with("group 0's entry count 16257 does not fit the stream: with ") ||
                full.reason().starts_with("the texts need "))
        << full.reason();
}

}  // namespace
}  // namespace kvz
