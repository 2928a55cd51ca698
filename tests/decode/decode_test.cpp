// The decoder on hand-built images: the whole-file example value by value,
// the value forms, the glyph area, phrase expansion and its guards.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "decode/decode.h"
#include "decode/expand_internal.h"
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
    // A phrase line of 130 codes with B = 120: the length word is 120 10.
    // (No text may hold that many characters; a phrase that no text uses
    // may.)
    StreamBuilder stream;
    stream.limit = 120;
    stream.header(100, 1);
    stream.value(130);
    ASSERT_EQ(stream.bytes.size(), 5u);
    ASSERT_EQ(stream.bytes[3], 120);
    ASSERT_EQ(stream.bytes[4], 10);
    for (unsigned i = 0; i < 130; ++i) stream.value(i % 100);
    for (int g = 0; g < 8; ++g) stream.line({0}).value(0).value(0);
    const DecodedImage decoded = decodeOrFail(buildImage(stream.bytes, {}));
    ASSERT_EQ(decoded.phrases.size(), 1u);
    ASSERT_EQ(decoded.phrases[0].size(), 130u);
    EXPECT_EQ(decoded.phrases[0][129], 29);
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
        {"runaway length", doubling, {17}, "more than 116 characters"},
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

namespace kvz {
namespace {

// A stream whose phrase k (code 2 + k) is two of phrase k - 1, phrase 0 two
// characters: phrase k expands to 2^(k+1) characters. `text(g, e, f)` gives
// each text (group names with e = -1); every group holds `perGroup` entries.
template <class Text>
std::vector<std::uint8_t> doublingImage(unsigned phrases, unsigned perGroup, const Text& text) {
    StreamBuilder stream;
    stream.limit = 100;  // two-byte values up to 3683: the groups' indexes
    stream.header(2, phrases);
    for (unsigned k = 0; k < phrases; ++k) {
        if (k == 0)
            stream.line({0, 1});
        else
            stream.line({2 + k - 1, 2 + k - 1});
    }
    for (unsigned g = 0; g < 8; ++g) {
        const StoredText name = text(g, -1, 0);
        stream.value(static_cast<unsigned>(name.size()));
        for (const std::uint16_t code : name) stream.value(code);
        stream.value(g * perGroup).value(perGroup);
    }
    for (unsigned g = 0; g < 8; ++g)
        for (unsigned e = 0; e < perGroup; ++e)
            for (int f = 0; f < 6; ++f) {
                const StoredText line = text(g, static_cast<int>(e), f);
                stream.value(static_cast<unsigned>(line.size()));
                for (const std::uint16_t code : line) stream.value(code);
            }
    const std::vector<GlyphCell> cells(2, GlyphCell{1, 2, 3, 4, 5, 6, 7});
    return buildImage(stream.bytes, cells);
}

// Phrase k's code, and a text of `characters` characters: phrases where
// they fit, characters for the rest.
constexpr std::uint16_t phraseCode(unsigned k) { return static_cast<std::uint16_t>(2 + k); }
StoredText textOf(std::size_t characters) {
    StoredText text;
    for (unsigned k = 7; k-- > 0;) {
        const std::size_t length = std::size_t{2} << k;
        while (characters >= length) {
            text.push_back(phraseCode(k));
            characters -= length;
        }
    }
    for (; characters > 0; --characters) text.push_back(1);
    return text;
}

TEST(TextWidths, EachTextIsHeldToItsFieldsWidth) {
    struct Case {
        const char* name;
        TextPlace place;  // the one text of other than one character
        std::size_t width;
    };
    const std::vector<Case> cases = {
        {"group name", {3, -1, 0}, 16},
        {"long field", {2, 1, 0}, 116},
        {"short field", {7, 0, 4}, 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(maxTextCharacters(c.place), c.width);
        for (const std::size_t characters : {c.width, c.width + 1}) {
            SCOPED_TRACE(characters);
            const auto image = doublingImage(7, 2, [&](unsigned g, int e, int f) {
                const bool chosen = static_cast<int>(g) == c.place.group && e == c.place.entry && f == c.place.field;
                return chosen ? textOf(characters) : StoredText{0};
            });
            auto decoded = decodeImage(image, kLoadAddress);
            if (characters == c.width) {
                ASSERT_TRUE(decoded.ok()) << decoded.reason();
                const StoredText& stored =
                    c.place.entry < 0 ? decoded->groups[3].name
                                      : decoded->entries[static_cast<std::size_t>(c.place.group * 2 + c.place.entry)]
                                                        [static_cast<std::size_t>(c.place.field)];
                auto codes = expandText(*decoded, stored);
                ASSERT_TRUE(codes.ok()) << codes.reason();
                EXPECT_EQ(codes->size(), c.width);
            } else {
                ASSERT_FALSE(decoded.ok());
                EXPECT_EQ(decoded.reason(), describeTextPlace(c.place) + ": the text expands to more than " +
                                                std::to_string(c.width) + " characters, more than its field of " +
                                                std::to_string(c.width) + " bytes holds");
            }
        }
    }
}

TEST(TextWidths, AnImageOfRunawayPhrasesIsRefusedAtItsFirstLongText) {
    // 16 doubling phrases: each of the 7208 texts would expand to 131072
    // characters. The first text too long is named, the work stays small.
    const auto image = doublingImage(16, 150, [](unsigned g, int e, int f) {
        const bool late = g == 5 && e == 149 && f == 3;
        return g < 5 || late ? StoredText{phraseCode(15)} : StoredText{0};
    });
    auto decoded = decodeImage(image, kLoadAddress);
    ASSERT_FALSE(decoded.ok());
    EXPECT_EQ(decoded.reason(),
              "group 0 name: the text expands to more than 16 characters, more than its field of 16 bytes holds");
    // Only one late text runs away: it is the one named.
    const auto late = doublingImage(16, 150, [](unsigned g, int e, int f) {
        return g == 5 && e == 149 && f == 3 ? StoredText{phraseCode(15), 0} : StoredText{phraseCode(1)};
    });
    decoded = decodeImage(late, kLoadAddress);
    ASSERT_FALSE(decoded.ok());
    EXPECT_EQ(decoded.reason(), "group 5 entry 149 short field 3: the text expands to more than 28 characters, "
                                "more than its field of 28 bytes holds");
}

TEST(TextWidths, ACycleIsRefusedWhereATextUsesIt) {
    // Phrase 2 = 0 3, phrase 3 = 1 2: each contains the other.
    const auto imageWith = [](StoredText longField) {
        StreamBuilder stream;
        stream.header(2, 2).line({0, 3}).line({1, 2});
        for (unsigned g = 0; g < 8; ++g) stream.line({0}).value(g == 0 ? 0 : 1).value(g == 0 ? 1 : 0);
        stream.value(static_cast<unsigned>(longField.size()));
        for (const std::uint16_t code : longField) stream.value(code);
        for (int f = 1; f < 6; ++f) stream.line({1});
        return buildImage(stream.bytes, std::vector<GlyphCell>(2));
    };
    auto used = decodeImage(imageWith({0, 2}), kLoadAddress);
    ASSERT_FALSE(used.ok());
    EXPECT_EQ(used.reason(), "group 0 entry 0 long field: phrase 2 contains itself");
    // A phrase that no text uses is never read by the device.
    auto unused = decodeImage(imageWith({0, 1}), kLoadAddress);
    EXPECT_TRUE(unused.ok()) << unused.reason();
}

}  // namespace
}  // namespace kvz
