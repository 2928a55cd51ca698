// The core's packing of a deck: deck bytes in, every product out, without
// files (tests/cli checks that the command line writes exactly these).
#include "core/pack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/preview.h"
#include "core/verify.h"
#include "decode/decode.h"
#include "glyph/glyph.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes exampleDeck(const std::string& name) {
    return testing::readFileBytes(testing::sourcePath("examples/" + name + ".kvz"));
}

PackedDeck packOrFail(const Bytes& deck, const PackOptions& options) {
    auto packed = packDeckBytes(deck, options);
    EXPECT_TRUE(packed.ok()) << packed.reason();
    return packed.ok() ? std::move(packed.value()) : PackedDeck{};
}

// The numbered text without the decimal number in front of each line.
std::string withoutLineNumbers(const std::string& numbered) {
    std::string plain;
    std::size_t expected = 1;
    for (std::size_t at = 0; at < numbered.size();) {
        const std::size_t end = numbered.find('\n', at) + 1;
        const std::string line = numbered.substr(at, end - at);
        const std::string number = std::to_string(expected++);
        EXPECT_EQ(line.rfind(number + ":", 0), 0u) << line;
        plain += line.substr(number.size());
        at = end;
    }
    return plain;
}

class PackExamples : public ::testing::TestWithParam<const char*> {};

TEST_P(PackExamples, ProductsAgreeWithEachOther) {
    const Bytes bytes = exampleDeck(GetParam());
    const PackedDeck packed = packOrFail(bytes, PackOptions{true, true});
    auto readBack = imageFromHexText(packed.hexText);
    ASSERT_TRUE(readBack.ok()) << readBack.reason();
    EXPECT_EQ(readBack->bytes, packed.image);
    EXPECT_TRUE(readBack->warnings.empty());
    EXPECT_EQ(withoutLineNumbers(packed.numberedHexText), packed.hexText);
    EXPECT_TRUE(packed.hexText.ends_with(":00000001FF\r\n"));
    EXPECT_EQ(packed.figures.imageBytes, packed.image.size());

    auto deck = readKvzBytes(bytes);
    ASSERT_TRUE(deck.ok());
    auto decoded = decodeImage(packed.image, kLoadAddress);
    ASSERT_TRUE(decoded.ok()) << decoded.reason();
    for (std::size_t g = 0; g < kGroupCount; ++g) EXPECT_EQ(decoded->groups[g].entryCount, deck->groupCounts[g]);
    EXPECT_EQ(packed.figures.texts, kGroupCount + kFieldsPerEntry * decoded->entries.size());
    EXPECT_EQ(packed.figures.glyphBytes, decoded->glyphAreaBytes);

    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(packed.png.size(), signature.size());
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), packed.png.begin()));
}

TEST_P(PackExamples, OptionsChangeOnlyWhatTheyAskFor) {
    const Bytes bytes = exampleDeck(GetParam());
    const PackedDeck full = packOrFail(bytes, PackOptions{true, true});
    const PackedDeck bare = packOrFail(bytes, PackOptions{false, false});
    EXPECT_EQ(bare.image, full.image);
    EXPECT_EQ(bare.hexText, full.hexText);
    EXPECT_EQ(bare.numberedHexText, full.numberedHexText);
    EXPECT_TRUE(bare.png.empty());
}

INSTANTIATE_TEST_SUITE_P(Core, PackExamples, ::testing::Values("example", "sample"));

TEST(PackDeckBytes, ListsCharactersWithoutGlyphWithTheirFirstPlace) {
    Bytes deck;
    testing::appendRecord(deck, testing::groupRecord("\x82\x60", 0));
    testing::appendRecord(deck, testing::groupRecord("\x82\x60", 1));
    for (int g = 2; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("\x82\x60", 0));
    testing::appendRecord(deck, testing::entryRecord({"\x82\x60", "\x82\x60", "\xFA\x40", "\x82\x60", "\xFA\x40\xFA\x40", "\x82\x60"}));
    const PackedDeck packed = packOrFail(deck, PackOptions{});
    ASSERT_EQ(packed.missingGlyphs.size(), 1u);
    EXPECT_EQ(describeMissingGlyph(packed.missingGlyphs[0]),
              "no glyph for ⅰ (0xFA40) (used 3 times, first in group 1 entry 0 short field 2)");
    EXPECT_FALSE(packed.image.empty());
}

// 0x9001 and 0x907F show other kanji, each told once with the kanji; 0x81FD
// shows nothing and is told as a missing glyph only; 0x9145 is itself.
TEST(PackDeckBytes, ListsCodesThatAreNotShiftJisWithTheGlyphTheyShow) {
    Bytes deck;
    testing::appendRecord(deck, testing::groupRecord("\x82\x60", 1));
    for (int g = 1; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("\x82\x60", 0));
    testing::appendRecord(deck, testing::entryRecord({"\x91\x45", "\x90\x01", "\x81\xFD", "\x90\x7F\x90\x01", "e", "f"}));
    const PackedDeck packed = packOrFail(deck, PackOptions{});
    std::vector<std::string> told;
    for (const NonShiftJisCode& code : packed.nonShiftJisCodes) told.push_back(describeNonShiftJisCode(code));
    EXPECT_EQ(told, (std::vector<std::string>{
                        "0x9001 is not Shift_JIS; the device draws it with the glyph of 0x9145 '\u85A6' (used 2 times, "
                        "first in group 0 entry 0 short field 1)",
                        "0x907F is not Shift_JIS; the device draws it with the glyph of 0x9080 '\u9017' (used 1 time, "
                        "first in group 0 entry 0 short field 3)"}));
    ASSERT_EQ(packed.missingGlyphs.size(), 1u);
    EXPECT_EQ(describeMissingGlyph(packed.missingGlyphs[0]),
              "no glyph for 0x81FD (used 1 time, first in group 0 entry 0 short field 2)");
}

TEST(PackDeckBytes, RefusesATruncatedDeckWithTheReason) {
    Bytes deck;
    for (int g = 0; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("\x82\x60", g == 0 ? 2 : 0));
    testing::appendRecord(deck, testing::entryRecord({"a", "b", "c", "d", "e", "f"}));
    auto packed = packDeckBytes(deck, PackOptions{});
    ASSERT_FALSE(packed.ok());
    EXPECT_EQ(packed.reason(), "truncated: 9 records, the group records announce 10");
}

TEST(PackDeckBytes, ReportsEveryProgressStage) {
    std::vector<int> stages;
    auto packed = packDeckBytes(exampleDeck("sample"), PackOptions{}, [&](int stage) { stages.push_back(stage); });
    ASSERT_TRUE(packed.ok()) << packed.reason();
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.back(), 0);
}

}  // namespace
}  // namespace kvz
