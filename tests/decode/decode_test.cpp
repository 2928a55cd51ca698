// The decoder on hand-built images: the whole-file example value by value,
// the value forms, the glyph area, phrase expansion and its guards.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "decode/decode.h"
#include "decode/expand.h"
#include "decode/example_image.h"
#include "decode/image_builder.h"
#include "input/kvz.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::buildImage;
using testing::cellsOf;
using testing::exampleImage;
using testing::kExamplePackedStream;
using testing::kExampleTable;
using testing::kExampleValues;
using testing::pack7;
using testing::StreamBuilder;
using Codes = std::vector<std::uint16_t>;

// A stream with only the 8 group lines, each name the one character 0, and
// no entries.
StreamBuilder groupsOnly(unsigned codesBefore) {
    StreamBuilder stream;
    stream.header(codesBefore, 0);
    for (int g = 0; g < 8; ++g) stream.line({0}).value(0).value(0);
    return stream;
}

DecodedImage decodeOrFail(std::span<const std::uint8_t> image) {
    auto decoded = decodeImage(image, kLoadAddress);
    EXPECT_TRUE(decoded.ok()) << decoded.reason();
    return decoded.ok() ? std::move(decoded.value()) : DecodedImage{};
}

TEST(ExampleImage, TestPackerGivesTheListedStreamBytes) {
    EXPECT_EQ(pack7(kExampleValues), kExamplePackedStream);
    EXPECT_EQ(exampleImage().size(), 95u);
}

TEST(ExampleImage, DecodesEveryValue) {
    const std::vector<std::uint8_t> image = exampleImage();
    const DecodedImage decoded = decodeOrFail(image);
    EXPECT_EQ(decoded.glyphAreaAddress, 0x060C);
    EXPECT_EQ(decoded.limit, 128);
    EXPECT_EQ(decoded.codesBefore, 13);
    ASSERT_EQ(decoded.phrases.size(), 1u);
    EXPECT_EQ(decoded.phrases[0], (StoredText{0, 3, 2, 4}));
    for (int g = 0; g < 8; ++g) {
        SCOPED_TRACE(g);
        EXPECT_EQ(decoded.groups[g].name, (StoredText{g == 7 ? std::uint16_t{3} : std::uint16_t{0}}));
        EXPECT_EQ(decoded.groups[g].firstEntry, g == 0 ? 0 : 1);
        EXPECT_EQ(decoded.groups[g].entryCount, g == 0 ? 1 : 0);
    }
    ASSERT_EQ(decoded.entries.size(), 1u);
    const std::array<StoredText, 6> entry{StoredText{13, 13, 13}, StoredText{2}, StoredText{2},
                                          StoredText{1}, StoredText{1, 1}, StoredText{1, 1, 1}};
    EXPECT_EQ(decoded.entries[0], entry);
    EXPECT_EQ(decoded.streamValues, 57u);
    EXPECT_EQ(decoded.glyphAreaBytes, 35u);
    EXPECT_EQ(decoded.cells, cellsOf(kExampleTable));
}

TEST(ExampleImage, LongFieldExpandsToABCDThreeTimes) {
    const DecodedImage decoded = decodeOrFail(exampleImage());
    auto codes = expandText(decoded, decoded.entries[0][0]);
    ASSERT_TRUE(codes.ok()) << codes.reason();
    EXPECT_EQ(*codes, (Codes{0, 3, 2, 4, 0, 3, 2, 4, 0, 3, 2, 4}));
}

TEST(ExampleImage, VerifiesAgainstTheExampleDeck) {
    auto deck = readKvzBytes(testing::readFileBytes(testing::sourcePath("examples/example.kvz")));
    ASSERT_TRUE(deck.ok()) << deck.reason();
    const Status status = verifyImage(exampleImage(), kLoadAddress, *deck, kExampleTable);
    EXPECT_TRUE(status.ok()) << status.reason();
}

TEST(ValueForms, TwoByteValuesAboveTheLimit) {
    // With B = 100: 100 is 100 0, 227 is 100 127, 228 is 101 0, 3000 is
    // 122 84, 3683 is 127 127.
    StreamBuilder stream;
    stream.limit = 100;
    stream.header(3683, 0);
    EXPECT_EQ(stream.bytes, (std::vector<std::uint8_t>{99, 127, 127, 0}));
    stream.line({57, 99, 100, 227, 228, 3000, 3682}).value(0).value(0);
    for (int g = 1; g < 8; ++g) stream.line({0}).value(0).value(0);
    const DecodedImage decoded = decodeOrFail(buildImage(stream.bytes, {}));
    EXPECT_EQ(decoded.limit, 100);
    EXPECT_EQ(decoded.codesBefore, 3683);
    EXPECT_EQ(decoded.groups[0].name, (StoredText{57, 99, 100, 227, 228, 3000, 3682}));
}

TEST(ValueForms, LengthWordOfTwoBytes) {
    // 130 codes with B = 120: the length word is 120 10.
    StreamBuilder stream;
    stream.limit = 120;
    stream.header(100, 0);
    stream.value(130);
    ASSERT_EQ(stream.bytes.size(), 5u);
    ASSERT_EQ(stream.bytes[3], 120);
    ASSERT_EQ(stream.bytes[4], 10);
    for (unsigned i = 0; i < 130; ++i) stream.value(i % 100);
    stream.value(0).value(0);
    for (int g = 1; g < 8; ++g) stream.line({0}).value(0).value(0);
    const DecodedImage decoded = decodeOrFail(buildImage(stream.bytes, {}));
    ASSERT_EQ(decoded.groups[0].name.size(), 130u);
    EXPECT_EQ(decoded.groups[0].name[129], 29);
}

TEST(GlyphArea, LowestRowFirstTopRowLast) {
    // The narrow A, 3E 09 3E 00 00 00 00, alone packs to 00 05 05 07 05 05 02.
    std::vector<std::uint8_t> image = buildImage(groupsOnly(2).bytes, {});
    const std::vector<std::uint8_t> packedA{0x00, 0x05, 0x05, 0x07, 0x05, 0x05, 0x02};
    image.insert(image.end(), packedA.begin(), packedA.end());
    const DecodedImage decoded = decodeOrFail(image);
    ASSERT_EQ(decoded.cells.size(), 1u);
    EXPECT_EQ(decoded.cells[0], (GlyphCell{0x3E, 0x09, 0x3E, 0, 0, 0, 0}));
}

TEST(GlyphArea, CellCountsAndPadding) {
    struct Case {
        std::size_t characters, bytes, cells;
    };
    // 8 characters fill 49 bytes exactly, 9 need 56; 7 leave a whole empty
    // padding cell (49 columns packed into 56).
    for (const Case c : {Case{1, 7, 1}, Case{7, 49, 8}, Case{8, 49, 8}, Case{9, 56, 9}}) {
        SCOPED_TRACE(c.characters);
        std::vector<GlyphCell> cells(c.characters, GlyphCell{0x7F, 1, 2, 3, 4, 5, 0x40});
        const DecodedImage decoded = decodeOrFail(buildImage(groupsOnly(2).bytes, cells));
        EXPECT_EQ(decoded.glyphAreaBytes, c.bytes);
        ASSERT_EQ(decoded.cells.size(), c.cells);
        for (std::size_t i = 0; i < c.cells; ++i)
            EXPECT_EQ(decoded.cells[i], i < c.characters ? cells[0] : GlyphCell{});
    }
}

TEST(GlyphArea, EmptyTableLeavesTheAddressAtTheImageEnd) {
    const std::vector<std::uint8_t> image = buildImage(groupsOnly(2).bytes, {});
    const DecodedImage decoded = decodeOrFail(image);
    EXPECT_EQ(decoded.glyphAreaAddress, kLoadAddress + image.size());
    EXPECT_TRUE(decoded.cells.empty());
}

// Phrase tables for the expansion tests: F = 2, character cells 0 and 1.
DecodedImage withPhrases(std::vector<StoredText> phrases) {
    DecodedImage image;
    image.codesBefore = 2;
    image.cells.resize(2);
    image.phrases = std::move(phrases);
    return image;
}

TEST(Expansion, NestedPhrasesExpandInOrder) {
    // 2 = 0 1, 3 = 2 2 0, 4 = 3 1 3
    const DecodedImage image = withPhrases({{0, 1}, {2, 2, 0}, {3, 1, 3}});
    auto codes = expandText(image, {4, 0, 2});
    ASSERT_TRUE(codes.ok()) << codes.reason();
    EXPECT_EQ(*codes, (Codes{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 1}));
}

TEST(Expansion, LongChainWithoutCycleExpands) {
    // Phrase k holds phrase k - 1: 5000 levels deep, one character.
    std::vector<StoredText> phrases{{1}};
    for (std::uint16_t k = 1; k < 5000; ++k) phrases.push_back({static_cast<std::uint16_t>(k + 1)});
    const DecodedImage image = withPhrases(phrases);
    auto codes = expandText(image, {5001, 0});
    ASSERT_TRUE(codes.ok()) << codes.reason();
    EXPECT_EQ(*codes, (Codes{1, 0}));
}

TEST(Expansion, SamePhraseTwiceInARowIsNoCycle) {
    const DecodedImage image = withPhrases({{0, 1}, {2, 2}});
    auto codes = expandText(image, {3, 3});
    ASSERT_TRUE(codes.ok()) << codes.reason();
    EXPECT_EQ(codes->size(), 8u);
}

TEST(Expansion, Refusals) {
    struct Case {
        const char* name;
        std::vector<StoredText> phrases;
        StoredText text;
        const char* reason;
    };
    std::vector<StoredText> doubling{{0, 1}};  // phrase k = (k - 1)(k - 1): 2^16 codes
    for (std::uint16_t k = 1; k < 16; ++k)
        doubling.push_back({static_cast<std::uint16_t>(k + 1), static_cast<std::uint16_t>(k + 1)});
    const std::vector<Case> cases = {
        {"itself", {{0, 2}}, {2}, "contains itself"},
        {"two-cycle", {{0, 3}, {1, 2}}, {0, 2}, "contains itself"},
        {"cycle deep inside", {{0}, {2, 4}, {1, 3}}, {3}, "contains itself"},
        {"no such phrase", {{0}}, {3}, "neither a character nor a phrase"},
        {"character without cell", {}, {0, 1}, ""},
        {"runaway length", doubling, {17}, "more than 65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage image = withPhrases(c.phrases);
        if (std::string(c.name) == "character without cell") image.cells.resize(1);
        auto codes = expandText(image, c.text);
        ASSERT_FALSE(codes.ok());
        EXPECT_NE(codes.reason().find(c.reason), std::string::npos) << codes.reason();
    }
}

TEST(Expansion, ExpanderRecoversAfterACycle) {
    // A failed expansion must not leave phrases marked as open.
    const DecodedImage image = withPhrases({{0, 1}, {4, 2}, {3}});
    detail::PhraseExpander expander(image);
    Codes codes;
    ASSERT_FALSE(expander.expand({3}, codes).ok());
    const Status again = expander.expand({2, 2}, codes);
    ASSERT_TRUE(again.ok()) << again.reason();
    EXPECT_EQ(codes, (Codes{0, 1, 0, 1}));
}

}  // namespace
}  // namespace kvz
