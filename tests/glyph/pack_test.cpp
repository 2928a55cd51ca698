// write7 and encode7: the packing rule, the image layout and its limits.
#include <gtest/gtest.h>

#include <string>

#include "glyph_test_util.h"

namespace kvz {
namespace {

using testing::Bytes;
using testing::glyphOf;
using testing::leftAligned;
using testing::packBitByBit;

// --- write7 ---

struct PackCase {
    const char* name;
    Bytes values;
    Bytes packed;
};

class Write7Test : public ::testing::TestWithParam<PackCase> {};

TEST_P(Write7Test, PacksEightValuesIntoSevenBytes) {
    Bytes out;
    EXPECT_EQ(write7(out, GetParam().values), GetParam().packed.size());
    EXPECT_EQ(out, GetParam().packed);
}

INSTANTIATE_TEST_SUITE_P(
    Glyph, Write7Test,
    ::testing::Values(
        PackCase{"nothing", {}, {}},
        PackCase{"first_value_all_bits", {0x7F, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1}},
        PackCase{"eight_ones", Bytes(8, 0x01), {0, 0, 0, 0, 0, 0, 0xFF}},
        PackCase{"bit7_dropped", Bytes(8, 0x80), Bytes(7, 0)},
        PackCase{"single_value_padded", {0x41}, {0x01, 0, 0, 0, 0, 0, 0x01}},
        PackCase{"last_value_bit6", {0, 0, 0, 0, 0, 0, 0, 0x40}, {0x80, 0, 0, 0, 0, 0, 0}},
        PackCase{"narrow_A_cell", {0x3E, 0x09, 0x3E, 0, 0, 0, 0},
                 {0x00, 0x05, 0x05, 0x07, 0x05, 0x05, 0x02}},
        PackCase{"nine_values", Bytes(9, 0x7F),
                 {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 1, 1, 1, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Write7, AppendsAfterWhatTheDestinationHolds) {
    Bytes out{0xAA, 0xBB};
    EXPECT_EQ(write7(out, Bytes{0x41}), 7u);
    EXPECT_EQ(out, (Bytes{0xAA, 0xBB, 0x01, 0, 0, 0, 0, 0, 0x01}));
    EXPECT_EQ(write7(out, Bytes{}), 0u);
    EXPECT_EQ(out.size(), 9u);
}

TEST(Write7, MatchesABitByBitPackerForEveryLength) {
    std::uint32_t seed = 12345;
    for (std::size_t n = 0; n <= 70; ++n) {
        Bytes values(n);
        for (auto& v : values) {
            seed = seed * 1103515245u + 12345u;
            v = static_cast<std::uint8_t>(seed >> 16);
        }
        Bytes out;
        EXPECT_EQ(write7(out, values), (n + 7) / 8 * 7) << n;
        EXPECT_EQ(out, packBitByBit(values)) << n;
    }
}

// --- encode7 ---

CharTable tableOf(std::initializer_list<std::array<std::uint8_t, 2>> codes) {
    CharTable table;
    for (const auto& code : codes) table.push_back(CharEntry{code, 1});
    return table;
}

CharTable fullWidthLetters(std::size_t n) {
    CharTable table;
    for (std::size_t i = 0; i < n; ++i) {
        table.push_back(CharEntry{{0x82, static_cast<std::uint8_t>(0x60 + i % 26)}, 1});
    }
    return table;
}

Bytes encodeOk(std::uint32_t loadAddress, const CharTable& table, const Bytes& stream) {
    Result<Bytes> image = encode7(loadAddress, table, stream);
    EXPECT_TRUE(image.ok()) << (image.ok() ? "" : image.reason());
    return image.ok() ? image.value() : Bytes{};
}

TEST(Encode7, ThreeValuesAndOneCharacter) {
    const Bytes image = encodeOk(kLoadAddress, tableOf({{0x82, 0x60}}), {1, 2, 3});
    ASSERT_EQ(image.size(), 18u);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{0x00, 0x00, 0xDB, 0x05}));
    EXPECT_EQ(Bytes(image.begin() + 11, image.end()),
              (Bytes{0x00, 0x05, 0x05, 0x07, 0x05, 0x05, 0x02}));  // narrow A
}

TEST(Encode7, EmptyStreamPutsTheGlyphsRightBehindTheHeader) {
    const Bytes image = encodeOk(kLoadAddress, tableOf({{0x82, 0x60}}), {});
    EXPECT_EQ(image, (Bytes{0x00, 0x00, 0xD4, 0x05, 0x00, 0x05, 0x05, 0x07, 0x05, 0x05, 0x02}));
}

TEST(Encode7, EmptyTableLeavesTheGlyphAddressJustPastTheImage) {
    const Bytes image = encodeOk(kLoadAddress, {}, Bytes(9, 1));
    ASSERT_EQ(image.size(), 18u);
    EXPECT_EQ(image[2] | image[3] << 8, static_cast<int>(kLoadAddress + 18));
}

TEST(Encode7, EightCellsPackIntoFortyNineBytesNineIntoFiftySix) {
    EXPECT_EQ(encodeOk(kLoadAddress, fullWidthLetters(8), {}).size(), 4u + 49u);
    EXPECT_EQ(encodeOk(kLoadAddress, fullWidthLetters(9), {}).size(), 4u + 56u);
}

TEST(Encode7, GlyphAreaIsTheCellStripPacked) {
    const CharTable table = tableOf({{0x93, 0xFA}, {0x82, 0xA0}, {0x81, 0x44}, {0x20, 0x00},
                                     {0x88, 0x9F}, {0x83, 0x8E}, {0x82, 0x4F}, {0x81, 0x4A},
                                     {0x83, 0x4A}, {0xF0, 0x40}, {0x82, 0x60}});
    Bytes strip;
    for (const CharEntry& entry : table) {
        const GlyphCell cell = selectGlyph(entry.code);
        strip.insert(strip.end(), cell.begin(), cell.end());
    }
    const Bytes image = encodeOk(kLoadAddress, table, {5});
    const Bytes expected = packBitByBit(strip);
    ASSERT_EQ(image.size(), 4u + 7u + expected.size());
    EXPECT_EQ(Bytes(image.begin() + 11, image.end()), expected);
}

// The deck of one entry (ABCDABCDABCD, C, C, E, EE, EEE) in groups named A and B.
TEST(Encode7, WholeFileExampleImage) {
    const Bytes stream{127, 13, 1, 4, 0, 3, 2, 4, 1, 0, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0,
                       1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 3, 1, 0,
                       3, 13, 13, 13, 1, 2, 1, 2, 1, 1, 2, 1, 1, 3, 1, 1, 1};
    ASSERT_EQ(stream.size(), 57u);
    const CharTable table{{{0x82, 0x60}, 10}, {{0x82, 0x64}, 6}, {{0x82, 0x62}, 5},
                          {{0x82, 0x61}, 4}, {{0x82, 0x63}, 3}};  // Ａ Ｅ Ｃ Ｂ Ｄ
    const Bytes packedStream{
        0x01, 0x01, 0x01, 0x03, 0x8B, 0x61, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x75, 0x00, 0x00, 0x00, 0x0E, 0x0E, 0xA1, 0x5F,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0xFB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
    Bytes strip;
    for (int letter : {'A', 'E', 'C', 'B', 'D'}) {
        const GlyphCell cell = leftAligned(glyphOf(font4x8, 3, letter));
        strip.insert(strip.end(), cell.begin(), cell.end());
    }

    const Bytes image = encodeOk(kLoadAddress, table, stream);
    ASSERT_EQ(image.size(), 95u);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{0x00, 0x00, 0x0C, 0x06}));
    EXPECT_EQ(Bytes(image.begin() + 4, image.begin() + 60), packedStream);
    EXPECT_EQ(Bytes(image.begin() + 60, image.end()), packBitByBit(strip));
    EXPECT_EQ(kLoadAddress + image.size() - 1, 0x062Eu);  // the logged end address
}

TEST(Encode7, KeepsTheEighthRowOutOfTheImage) {
    // A cell with bit 7 set packs like the same cell without it.
    const Bytes withBit7{0x80, 0x81, 0xFF, 0, 0, 0, 0, 0};
    const Bytes without{0x00, 0x01, 0x7F, 0, 0, 0, 0, 0};
    Bytes a;
    Bytes b;
    write7(a, withBit7);
    write7(b, without);
    EXPECT_EQ(a, b);
}

// --- encode7: the device's address space ---

struct LimitCase {
    const char* name;
    std::uint32_t loadAddress;
    std::size_t streamValues;
    std::size_t characters;
    bool fits;
    std::size_t imageSize;  // the true size, whether it fits or not
    std::size_t capacity;
};

class Encode7LimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(Encode7LimitTest, RefusesWhatDoesNotFitBelow0x10000) {
    const LimitCase& c = GetParam();
    const Result<Bytes> image = encode7(c.loadAddress, fullWidthLetters(c.characters),
                                        Bytes(c.streamValues, 0x55));
    if (c.fits) {
        ASSERT_TRUE(image.ok()) << image.reason();
        EXPECT_EQ(image.value().size(), c.imageSize);
    } else {
        ASSERT_FALSE(image.ok());
        EXPECT_EQ(image.reason(), "image of " + std::to_string(c.imageSize) +
                                      " bytes exceeds the device's " +
                                      std::to_string(c.capacity) + " bytes");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Glyph, Encode7LimitTest,
    ::testing::Values(
        // 4 + 7 * 9149 = 64047 is the largest image at 0x05D0 (capacity 64048).
        LimitCase{"largest_stream", kLoadAddress, 8 * 9149, 0, true, 64047, 64048},
        LimitCase{"stream_one_value_more", kLoadAddress, 8 * 9149 + 1, 0, false, 64054, 64048},
        // more than the 9362 cells a 65536-byte cell area would hold
        LimitCase{"largest_table", kLoadAddress, 0, 10456, true, 64047, 64048},
        LimitCase{"table_one_more", kLoadAddress, 0, 10457, false, 64054, 64048},
        LimitCase{"stream_and_table", kLoadAddress, 8 * 5000, 4000, true, 4 + 35000 + 24500, 64048},
        LimitCase{"stream_and_table_over", kLoadAddress, 8 * 6000, 4000, false, 4 + 42000 + 24500, 64048},
        LimitCase{"top_of_memory", 0xFFF0, 8, 0, true, 11, 16},
        LimitCase{"top_of_memory_over", 0xFFF0, 16, 0, false, 18, 16},
        LimitCase{"load_at_zero", 0, 8 * 9361, 0, true, 65531, 65535},
        LimitCase{"load_at_zero_over", 0, 8 * 9362, 0, false, 65538, 65535},
        LimitCase{"load_past_memory", 0x10000, 0, 0, false, 4, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Encode7, ImageEndingAt0xFFFFWrapsTheGlyphAddressToZero) {
    const Bytes image = encodeOk(0xFFF5, {}, Bytes(8, 1));
    ASSERT_EQ(image.size(), 11u);
    EXPECT_EQ(image[2], 0x00);
    EXPECT_EQ(image[3], 0x00);
}

}  // namespace
}  // namespace kvz
