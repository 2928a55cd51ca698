// A deck too large for the device, split: every entry in exactly one part,
// in file order, under its own group and the deck's group names, each part
// within the device and decoded by the independent decoder to its texts;
// as few parts as the plain search over every count finds; a deck that fits
// is packed as without the split.
#include "core/split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/layout.h"
#include "core/frontend.h"
#include "decode/decode.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Characters = std::vector<CharCode>;

// Every text of the deck as its characters: the 8 group names, then six a
// entry.
std::vector<Characters> textsOf(const KvzFile& deck) {
    std::vector<Characters> texts(1);
    forEachCharacter(
        deck.textBlock, [&](CharCode code) { texts.back().push_back(code); },
        [&](std::size_t) { texts.emplace_back(); });
    texts.pop_back();
    return texts;
}

// The group of every entry, in file order.
std::vector<std::size_t> groupsOfEntries(const GroupCounts& counts) {
    std::vector<std::size_t> groups;
    for (std::size_t g = 0; g < kGroupCount; ++g) groups.insert(groups.end(), counts[g], g);
    return groups;
}

Characters decodedText(const DecodedImage& image, const StoredText& stored, const CharTable& table) {
    auto codes = expandText(image, stored);
    EXPECT_TRUE(codes.ok()) << codes.reason();
    Characters text;
    if (codes.ok())
        for (const std::uint16_t code : *codes) text.push_back(code < table.size() ? table[code].code : CharCode{});
    return text;
}

// Decodes every part and checks it against the deck; the parts together
// hold every entry once, in order.
void expectPartsHoldTheDeck(const KvzFile& deck, const std::vector<NamedImage>& parts, const std::string& base) {
    const std::vector<Characters> texts = textsOf(deck);
    const std::vector<std::size_t> groupOf = groupsOfEntries(deck.groupCounts);
    std::size_t nextEntry = 0;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const NamedImage& part = parts[p];
        SCOPED_TRACE(part.name);
        EXPECT_EQ(part.name, base + "-" + std::to_string(p + 1));
        EXPECT_EQ(part.firstEntry, nextEntry);
        EXPECT_LE(part.packed.image.size(), kImageCapacity);
        auto decoded = decodeImage(part.packed.image, kLoadAddress);
        ASSERT_TRUE(decoded.ok()) << decoded.reason();
        for (std::size_t g = 0; g < kGroupCount; ++g)
            EXPECT_EQ(decodedText(*decoded, decoded->groups[g].name, part.packed.charTable), texts[g]);
        const std::vector<std::size_t> partGroups = groupsOfEntries(
            [&] {
                GroupCounts counts{};
                for (std::size_t g = 0; g < kGroupCount; ++g) counts[g] = decoded->groups[g].entryCount;
                return counts;
            }());
        ASSERT_EQ(decoded->entries.size(), partGroups.size());
        EXPECT_EQ(decoded->entries.size(), part.entries);
        for (std::size_t e = 0; e < decoded->entries.size(); ++e, ++nextEntry) {
            ASSERT_LT(nextEntry, groupOf.size());
            EXPECT_EQ(partGroups[e], groupOf[nextEntry]) << "entry " << nextEntry;
            for (std::size_t f = 0; f < kFieldsPerEntry; ++f)
                EXPECT_EQ(decodedText(*decoded, decoded->entries[e][f], part.packed.charTable),
                          texts[kGroupCount + kFieldsPerEntry * nextEntry + f])
                    << "entry " << nextEntry << " field " << f;
        }
    }
    EXPECT_EQ(nextEntry, countEntries(deck));
}

struct SplitCase {
    const char* name;
    std::array<std::uint16_t, 8> counts;
    std::size_t longKanji;
    Encoder encoder;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, PartsHoldEveryEntryOnceInOrderAndAreAsFewAsThePlainSearchFinds) {
    const KvzFile deck = testing::kvzFileOf(testing::randomKanjiDeck(GetParam().counts, GetParam().longKanji, 3));
    const ConvertRequest request{PackOptions{true, false, GetParam().encoder}, false, true};
    DeckConversion conversion = convertDeck(deck, "deck", request);
    ASSERT_TRUE(conversion.images.ok()) << conversion.images.reason();
    EXPECT_GE(conversion.images->size(), 2u);
    expectPartsHoldTheDeck(deck, *conversion.images, "deck");
    EXPECT_EQ(conversion.images->size(), fewestPartsPlainly(deck, GetParam().encoder));
    EXPECT_LE(leastParts(deck), conversion.images->size());
}

TEST(Split, MoreThanTheMostPartsAreRefusedWithTheCountTheSearchReached) {
    const KvzFile deck = testing::kvzFileOf(testing::randomKanjiDeck({300, 300, 300, 300, 300, 300, 300, 300}, 20, 3));
    const std::size_t fewest = fewestPartsPlainly(deck, Encoder::standard);
    ASSERT_GE(fewest, 3u);
    ASSERT_LT(leastParts(deck), fewest - 1);  // so that the search itself finds it
    for (const std::size_t most : {fewest - 1, fewest}) {
        SCOPED_TRACE(most);
        ConvertRequest request{PackOptions{}, false, true, most};
        DeckConversion conversion = convertDeck(deck, "deck", request);
        if (most < fewest) {
            ASSERT_FALSE(conversion.images.ok());
            EXPECT_EQ(conversion.images.reason(), "the deck needs at least " + std::to_string(most + 1) +
                                                      " parts; --split writes at most " + std::to_string(most) +
                                                      " (--max-parts N allows N)");
        } else {
            ASSERT_TRUE(conversion.images.ok()) << conversion.images.reason();
            EXPECT_EQ(conversion.images->size(), fewest);
        }
    }
}

// 400000 entries of one character each: no split into 64 parts can hold
// their lines, which leastParts tells without converting anything.
KvzFile manyOneCharacterEntries() {
    KvzFile deck;
    const std::vector<std::uint8_t> text{0x82, 0x60, 0};
    for (std::size_t t = 0; t < kGroupCount + 400000 * kFieldsPerEntry; ++t)
        deck.textBlock.insert(deck.textBlock.end(), text.begin(), text.end());
    deck.textBlock.push_back(0);
    deck.groupCounts.fill(50000);
    return deck;
}

TEST(Split, ADeckThatNeedsFarTooManyPartsIsRefusedBeforeAnyConversionAndStillReported) {
    const KvzFile deck = manyOneCharacterEntries();
    const std::size_t least = leastParts(deck);
    // 2.4 million texts of two values each, 7/8 of a byte a value.
    EXPECT_EQ(least, ((2400000u * 2 + 7) * 7 / 8 + kImageCapacity - 1) / kImageCapacity);
    ASSERT_GT(least, kDefaultMaxParts);
    for (const bool report : {false, true}) {
        SCOPED_TRACE(report);
        DeckConversion conversion = convertDeck(deck, "deck", ConvertRequest{PackOptions{}, report, true});
        ASSERT_FALSE(conversion.images.ok());
        EXPECT_EQ(conversion.images.reason(), "the deck needs at least " + std::to_string(least) +
                                                  " parts; --split writes at most 64 (--max-parts N allows N)");
        EXPECT_EQ(conversion.report.has_value(), report);
        if (report) {
            EXPECT_EQ(conversion.report->entries.size(), 400000u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Core, Split,
    ::testing::Values(SplitCase{"CutGroups", {100, 150, 0, 200, 100, 100, 150, 100}, 20, Encoder::standard},
                      SplitCase{"ManyParts", {300, 300, 300, 300, 300, 300, 300, 300}, 20, Encoder::standard},
                      SplitCase{"OneGroup", {0, 0, 0, 1500, 0, 0, 0, 0}, 20, Encoder::standard},
                      SplitCase{"Best", {100, 150, 0, 200, 100, 100, 150, 100}, 20, Encoder::best}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Split, ADeckThatFitsIsPackedAsWithoutTheSplit) {
    const KvzFile deck = testing::kvzFileOf(testing::bundledDeckBytes("sample.kvz"));
    for (const Encoder encoder : {Encoder::standard, Encoder::best}) {
        const PackOptions options{true, false, encoder};
        auto plain = packDeck(deck, options);
        ASSERT_TRUE(plain.ok()) << plain.reason();
        for (const bool report : {false, true}) {
            DeckConversion split = convertDeck(deck, "sample", ConvertRequest{options, report, true});
            ASSERT_TRUE(split.images.ok()) << split.images.reason();
            ASSERT_EQ(split.images->size(), 1u);
            EXPECT_EQ(split.images->front().name, "sample");
            EXPECT_EQ(split.images->front().packed.hexText, plain->hexText);
            EXPECT_EQ(split.images->front().packed.numberedHexText, plain->numberedHexText);
            EXPECT_EQ(split.report.has_value(), report);
        }
    }
}

TEST(Split, WithoutItADeckTooLargeFailsAsBeforeAndStillGetsItsReport) {
    const KvzFile deck = testing::kvzFileOf(testing::randomKanjiDeck({100, 150, 0, 200, 100, 100, 150, 100}, 20, 3));
    auto plain = packDeck(deck, PackOptions{});
    ASSERT_FALSE(plain.ok());
    DeckConversion reported = convertDeck(deck, "deck", ConvertRequest{PackOptions{}, true, false});
    ASSERT_FALSE(reported.images.ok());
    EXPECT_EQ(reported.images.reason(), plain.reason());
    ASSERT_TRUE(reported.report.has_value());
    EXPECT_GT(reported.report->imageBytes, kImageCapacity);
}

struct PartSizesCase {
    std::size_t entries, parts;
};

class PartSizes : public ::testing::TestWithParam<PartSizesCase> {};

TEST_P(PartSizes, AddUpToTheEntriesAndDifferByOneAtMostTheLargerFirst) {
    const std::vector<std::size_t> sizes = equalPartSizes(GetParam().entries, GetParam().parts);
    ASSERT_EQ(sizes.size(), GetParam().parts);
    std::size_t total = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        total += sizes[i];
        EXPECT_LE(sizes.front() - sizes[i], 1u);
        if (i > 0) {
            EXPECT_LE(sizes[i], sizes[i - 1]);
        }
    }
    EXPECT_EQ(total, GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(Core, PartSizes,
                         ::testing::Values(PartSizesCase{10, 3}, PartSizesCase{9, 3}, PartSizesCase{2, 2},
                                           PartSizesCase{1449, 2}, PartSizesCase{7, 7}));

}  // namespace
}  // namespace kvz
