// The generated font tables: telling glyphs, coverage, empty rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "glyph_test_util.h"

namespace kvz {
namespace {

using testing::Bytes;
using testing::glyphOf;
using testing::isEmpty;

constexpr std::size_t kRows = 94;
constexpr std::size_t kK6x8Width = 5;
constexpr std::size_t kMisakiWidth = 7;

static_assert(font4x8.size() == 768);
static_assert(fontK6x8.size() == 44180);
static_assert(fontMisaki.size() == 61852);  // glyph 8835 ends at byte 61851

struct TellingGlyph {
    const char* name;
    std::span<const std::uint8_t> font;
    std::size_t width;
    std::size_t index;
    Bytes columns;
};

std::vector<TellingGlyph> tellingGlyphs() {
    return {
        {"space", font4x8, 3, 0x20, {0x00, 0x00, 0x00}},
        {"full_stop", font4x8, 3, 0x2E, {0x00, 0x20, 0x00}},
        {"digit_zero", font4x8, 3, 0x30, {0x1C, 0x2A, 0x1C}},
        {"capital_A", font4x8, 3, 0x41, {0x3E, 0x09, 0x3E}},
        {"yen_sign", font4x8, 3, 0x5C, {0x15, 0x3E, 0x15}},
        {"katakana_ka", font4x8, 3, 0xB6, {0x32, 0x0F, 0x3E}},
        {"voiced_mark", font4x8, 3, 0xDE, {0x01, 0x00, 0x01}},
        {"semi_voiced_mark", font4x8, 3, 0xDF, {0x02, 0x05, 0x02}},
        {"narrow_small_wa", font4x8, 3, 0xE0, {0x2C, 0x24, 0x1C}},
        {"k6x8_ideographic_space", fontK6x8, 5, 0, {0, 0, 0, 0, 0}},
        {"k6x8_hiragana_a", fontK6x8, 5, 283, {0x30, 0x4A, 0x3F, 0x1A, 0x74}},
        {"k6x8_katakana_a", fontK6x8, 5, 377, {0x01, 0x41, 0x3D, 0x09, 0x07}},
        {"misaki_ideographic_space", fontMisaki, 7, 0, {0, 0, 0, 0, 0, 0, 0}},
        {"misaki_a", fontMisaki, 7, 1410, {0x5D, 0x55, 0x7F, 0x55, 0x7F, 0x55, 0x5D}},
        {"misaki_hi", fontMisaki, 7, 3569, {0x00, 0x7F, 0x49, 0x49, 0x49, 0x49, 0x7F}},
    };
}

class TellingGlyphTest : public ::testing::TestWithParam<TellingGlyph> {};

TEST_P(TellingGlyphTest, HasItsColumns) {
    const TellingGlyph& g = GetParam();
    const auto glyph = g.font.subspan(g.index * g.width, g.width);
    EXPECT_EQ(Bytes(glyph.begin(), glyph.end()), g.columns);
}

INSTANTIATE_TEST_SUITE_P(Fonts, TellingGlyphTest, ::testing::ValuesIn(tellingGlyphs()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Font4x8, GlyphsExactlyInJisX0201AndTheHandDrawnCodes) {
    for (int code = 0; code < 256; ++code) {
        const bool drawn = (code >= 0x21 && code <= 0x7E) || (code >= 0xA1 && code <= 0xE4);
        EXPECT_EQ(!isEmpty(glyphOf(font4x8, 3, code)), drawn) << "glyph " << code;
    }
}

TEST(Font4x8, EveryGlyphStaysWithinSevenRows) {
    for (std::size_t i = 0; i < font4x8.size(); ++i) {
        EXPECT_EQ(font4x8[i] & 0x80, 0) << "byte " << i;
    }
}

TEST(Font4x8, HandDrawnKatakanaAreDistinctFromEveryOtherGlyph) {
    std::vector<Bytes> glyphs;
    for (int code = 0x21; code <= 0xE4; ++code) {
        glyphs.push_back(glyphOf(font4x8, 3, code));
    }
    for (int code = 0xE0; code <= 0xE4; ++code) {
        EXPECT_EQ(std::count(glyphs.begin(), glyphs.end(), glyphOf(font4x8, 3, code)), 1)
            << "glyph " << code;
    }
}

struct LargeFont {
    const char* name;
    std::span<const std::uint8_t> font;
    std::size_t width;
    std::size_t row13Glyphs;  // the k6x8 sheet has no row 13
};

class LargeFontTest : public ::testing::TestWithParam<LargeFont> {
protected:
    Bytes glyph(std::size_t index) const {
        const auto g = GetParam().font.subspan(index * GetParam().width, GetParam().width);
        return Bytes(g.begin(), g.end());
    }
    std::size_t glyphsInRow(std::size_t row) const {
        std::size_t n = 0;
        for (std::size_t column = 0; column < kRows; ++column) {
            n += isEmpty(glyph((row - 1) * kRows + column)) ? 0 : 1;
        }
        return n;
    }
};

std::size_t expectedGlyphsInRow(std::size_t row, std::size_t row13Glyphs) {
    constexpr std::array<std::size_t, 8> nonKanji{93, 53, 62, 83, 86, 48, 66, 32};
    if (row <= 8) return nonKanji[row - 1];
    if (row == 13) return row13Glyphs;
    if (row == 47) return 51;
    if (row == 84) return 6;
    if (row >= 16 && row <= 84) return 94;
    return 0;
}

TEST_P(LargeFontTest, RowsHoldTheirCharacters) {
    for (std::size_t row = 1; row <= kRows; ++row) {
        EXPECT_EQ(glyphsInRow(row), expectedGlyphsInRow(row, GetParam().row13Glyphs))
            << "row " << row;
    }
}

TEST_P(LargeFontTest, IdeographicSpaceIsEmpty) {
    EXPECT_TRUE(isEmpty(glyph(0)));
}

TEST_P(LargeFontTest, OnlyTwentyTwoBoxDrawingGlyphsReachTheEighthRow) {
    std::size_t count = 0;
    for (std::size_t index = 0; index < kRows * kRows; ++index) {
        for (std::uint8_t column : glyph(index)) {
            if ((column & 0x80) != 0) {
                EXPECT_EQ(index / kRows + 1, 8u) << "glyph " << index;
                ++count;
                break;
            }
        }
    }
    EXPECT_EQ(count, 22u);
}

INSTANTIATE_TEST_SUITE_P(Fonts, LargeFontTest,
                         ::testing::Values(LargeFont{"fontK6x8", fontK6x8, kK6x8Width, 0},
                                           LargeFont{"fontMisaki", fontMisaki, kMisakiWidth, 83}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvz
