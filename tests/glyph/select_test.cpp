// writeFont and selectGlyph: Shift_JIS to JIS, the choice of font, the
// narrow tables and codes without a glyph.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "glyph_test_util.h"

namespace kvz {
namespace {

using testing::Bytes;
using testing::glyphOf;
using testing::leftAligned;
using testing::shiftJisOf;

using Code = std::array<std::uint8_t, 2>;

// --- writeFont ---

struct WriteFontCase {
    Bytes glyph;
    GlyphCell cell;
};

class WriteFontTest : public ::testing::TestWithParam<WriteFontCase> {};

TEST_P(WriteFontTest, DropsLeadingEmptyColumnsOnly) {
    GlyphCell cell;
    cell.fill(0xFF);  // whatever the cell held before is replaced
    writeFont(cell, GetParam().glyph);
    EXPECT_EQ(cell, GetParam().cell);
}

INSTANTIATE_TEST_SUITE_P(
    Glyph, WriteFontTest,
    ::testing::Values(
        WriteFontCase{{}, {0, 0, 0, 0, 0, 0, 0}},
        WriteFontCase{{0x00, 0x00, 0x00}, {0, 0, 0, 0, 0, 0, 0}},
        WriteFontCase{{0x00, 0x20, 0x00}, {0x20, 0, 0, 0, 0, 0, 0}},
        WriteFontCase{{0x3E, 0x09, 0x3E}, {0x3E, 0x09, 0x3E, 0, 0, 0, 0}},
        WriteFontCase{{0x00, 0x00, 0x7F, 0x00, 0x01}, {0x7F, 0x00, 0x01, 0, 0, 0, 0}},
        WriteFontCase{{0x00, 0x7F, 0x49, 0x49, 0x49, 0x49, 0x7F},
                      {0x7F, 0x49, 0x49, 0x49, 0x49, 0x7F, 0}},
        WriteFontCase{{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}, {0x81, 0, 0, 0, 0, 0, 0}},
        WriteFontCase{{1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4, 5, 6, 7}}));

// --- selectGlyph: the telling characters ---

struct SelectCase {
    const char* name;
    Code code;
    GlyphCell cell;
};

class SelectGlyphTest : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectGlyphTest, GivesTheCell) {
    EXPECT_EQ(selectGlyph(GetParam().code), GetParam().cell);
}

INSTANTIATE_TEST_SUITE_P(
    Glyph, SelectGlyphTest,
    ::testing::Values(
        SelectCase{"ideographic_space", {0x81, 0x40}, {0, 0, 0, 0, 0, 0, 0}},
        SelectCase{"fullwidth_full_stop", {0x81, 0x44}, {0x20, 0, 0, 0, 0, 0, 0}},
        SelectCase{"fullwidth_zero", {0x82, 0x4F}, {0x1C, 0x2A, 0x1C, 0, 0, 0, 0}},
        SelectCase{"fullwidth_A", {0x82, 0x60}, {0x3E, 0x09, 0x3E, 0, 0, 0, 0}},
        SelectCase{"hiragana_a", {0x82, 0xA0}, {0x30, 0x4A, 0x3F, 0x1A, 0x74, 0, 0}},
        SelectCase{"kanji_hi", {0x93, 0xFA}, {0x7F, 0x49, 0x49, 0x49, 0x49, 0x7F, 0}},
        SelectCase{"kanji_a", {0x88, 0x9F}, {0x5D, 0x55, 0x7F, 0x55, 0x7F, 0x55, 0x5D}},
        SelectCase{"katakana_ka", {0x83, 0x4A}, {0x32, 0x0F, 0x3E, 0, 0, 0, 0}},
        SelectCase{"voiced_mark", {0x81, 0x4A}, {0x01, 0x00, 0x01, 0, 0, 0, 0}},
        SelectCase{"semi_voiced_mark", {0x81, 0x4B}, {0x02, 0x05, 0x02, 0, 0, 0, 0}},
        SelectCase{"small_wa", {0x83, 0x8E}, {0x2C, 0x24, 0x1C, 0, 0, 0, 0}},
        SelectCase{"one_byte_space", {0x20, 0x00}, {0, 0, 0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// ア (JIS 0x2522) takes the narrow ｱ, not the five-column glyph of fontK6x8.
TEST(SelectGlyph, KatakanaATakesNarrowGlyphB1) {
    EXPECT_EQ(selectGlyph({0x83, 0x41}), leftAligned(glyphOf(font4x8, 3, 0xB1)));
}

TEST(SelectGlyph, LeadByteAboveDFReachesTheMisakiKanji) {
    // 0xE040: row byte 0x5F, column byte 0x21, font index 5828.
    EXPECT_EQ(selectGlyph({0xE0, 0x40}), leftAligned(glyphOf(fontMisaki, 7, 5828)));
    EXPECT_NE(selectGlyph({0xE0, 0x40}), GlyphCell{});
}

// --- selectGlyph: the narrow tables ---

// JIS column byte -> font4x8 glyph.
const std::map<int, int> kRow1Narrow{
    {0x21, 0x20}, {0x22, 0xA4}, {0x23, 0xA1}, {0x24, 0x2C}, {0x25, 0x2E}, {0x26, 0xA5},
    {0x27, 0x3A}, {0x28, 0x3B}, {0x29, 0x3F}, {0x2A, 0x21}, {0x2B, 0xDE}, {0x2C, 0xDF},
    {0x30, 0x5E}, {0x31, 0x7E}, {0x32, 0x5F}, {0x3C, 0xB0}, {0x3F, 0x2F}, {0x43, 0x7C},
    {0x46, 0x60}, {0x47, 0x27}, {0x4A, 0x28}, {0x4B, 0x29}, {0x4E, 0x5B}, {0x4F, 0x5D},
    {0x50, 0x7B}, {0x51, 0x7D}, {0x56, 0xA2}, {0x57, 0xA3}, {0x5C, 0x2B}, {0x5D, 0x2D},
    {0x61, 0x3D}, {0x63, 0x3C}, {0x64, 0x3E}, {0x6F, 0x5C}, {0x70, 0x24}, {0x73, 0x25},
    {0x74, 0x23}, {0x75, 0x26}, {0x76, 0x2A}, {0x77, 0x40}};
const std::map<int, int> kRow5Narrow{
    {0x21, 0xA7}, {0x22, 0xB1}, {0x23, 0xA8}, {0x24, 0xB2}, {0x25, 0xA9}, {0x26, 0xB3},
    {0x27, 0xAA}, {0x28, 0xB4}, {0x29, 0xAB}, {0x2A, 0xB5}, {0x2B, 0xB6}, {0x2D, 0xB7},
    {0x2F, 0xB8}, {0x31, 0xB9}, {0x33, 0xBA}, {0x35, 0xBB}, {0x37, 0xBC}, {0x39, 0xBD},
    {0x3B, 0xBE}, {0x3D, 0xBF}, {0x3F, 0xC0}, {0x41, 0xC1}, {0x43, 0xAF}, {0x44, 0xC2},
    {0x46, 0xC3}, {0x48, 0xC4}, {0x4A, 0xC5}, {0x4B, 0xC6}, {0x4C, 0xC7}, {0x4D, 0xC8},
    {0x4E, 0xC9}, {0x4F, 0xCA}, {0x52, 0xCB}, {0x55, 0xCC}, {0x58, 0xCD}, {0x5B, 0xCE},
    {0x5E, 0xCF}, {0x5F, 0xD0}, {0x60, 0xD1}, {0x61, 0xD2}, {0x62, 0xD3}, {0x63, 0xAC},
    {0x64, 0xD4}, {0x65, 0xAD}, {0x66, 0xD5}, {0x67, 0xAE}, {0x68, 0xD6}, {0x69, 0xD7},
    {0x6A, 0xD8}, {0x6B, 0xD9}, {0x6C, 0xDA}, {0x6D, 0xDB}, {0x6E, 0xE0}, {0x6F, 0xDC},
    {0x70, 0xE3}, {0x71, 0xE4}, {0x72, 0xA6}, {0x73, 0xDD}, {0x75, 0xE1}, {0x76, 0xE2}};

TEST(SelectGlyph, NarrowTablesHaveFortyAndSixtyEntries) {
    EXPECT_EQ(kRow1Narrow.size(), 40u);
    EXPECT_EQ(kRow5Narrow.size(), 60u);
}

int fontIndex(int rowByte, int columnByte) {
    return (rowByte - 0x21) * 94 + (columnByte - 0x21);
}

// What the cell of JIS code (row byte, column byte) must be, from the rules
// of the rows.
GlyphCell expectedCell(int row, int column) {
    if (row == 0x21 && kRow1Narrow.count(column) != 0) {
        return leftAligned(glyphOf(font4x8, 3, kRow1Narrow.at(column)));
    }
    if (row == 0x25 && kRow5Narrow.count(column) != 0) {
        return leftAligned(glyphOf(font4x8, 3, kRow5Narrow.at(column)));
    }
    if (row == 0x23) {
        return leftAligned(glyphOf(font4x8, 3, column));
    }
    if (row >= 0x21 && row <= 0x28) {
        return leftAligned(glyphOf(fontK6x8, 5, fontIndex(row, column)));
    }
    return leftAligned(glyphOf(fontMisaki, 7, fontIndex(row, column)));
}

TEST(SelectGlyph, EveryJisCodeFollowsTheRuleOfItsRow) {
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int column = 0x21; column <= 0x7E; ++column) {
            ASSERT_EQ(selectGlyph(shiftJisOf(row, column)), expectedCell(row, column))
                << std::hex << "JIS " << row << column;
        }
    }
}

TEST(SelectGlyph, SymbolsOutsideTheRow1TableAreFiveColumnsWide) {
    // Wave dash and the double quotation marks take fontK6x8 glyphs.
    for (int column : {0x41, 0x48, 0x49}) {
        const GlyphCell cell = selectGlyph(shiftJisOf(0x21, column));
        EXPECT_EQ(cell, leftAligned(glyphOf(fontK6x8, 5, fontIndex(0x21, column))));
        EXPECT_NE(cell, GlyphCell{}) << std::hex << column;
    }
}

TEST(SelectGlyph, VoicedKatakanaAndRow5PastTheTableUseFontK6x8) {
    EXPECT_EQ(selectGlyph({0x83, 0x4B}),  // ガ, JIS 0x252C
              leftAligned(glyphOf(fontK6x8, 5, fontIndex(0x25, 0x2C))));
    EXPECT_EQ(selectGlyph(shiftJisOf(0x25, 0x77)), GlyphCell{});  // past ヶ: no character
}

TEST(SelectGlyph, BoxDrawingCellKeepsItsEighthRow) {
    int found = 0;
    for (int column = 0x21; column <= 0x7E && found == 0; ++column) {
        const Bytes glyph = glyphOf(fontK6x8, 5, fontIndex(0x28, column));
        if (std::any_of(glyph.begin(), glyph.end(), [](auto c) { return (c & 0x80) != 0; })) {
            found = column;
        }
    }
    ASSERT_NE(found, 0);
    const GlyphCell cell = selectGlyph(shiftJisOf(0x28, found));
    EXPECT_TRUE(std::any_of(cell.begin(), cell.end(), [](auto c) { return (c & 0x80) != 0; }));
}

// --- selectGlyph: codes outside the fonts ---

struct OutsideCase {
    const char* name;
    Code code;
};

class OutsideFontsTest : public ::testing::TestWithParam<OutsideCase> {};

TEST_P(OutsideFontsTest, GivesAnEmptyCell) {
    EXPECT_EQ(selectGlyph(GetParam().code), GlyphCell{});
}

INSTANTIATE_TEST_SUITE_P(
    Glyph, OutsideFontsTest,
    ::testing::Values(
        OutsideCase{"zero", {0x00, 0x00}},                    // index -3135
        OutsideCase{"one_byte_1F", {0x1F, 0x00}},             // index -221
        OutsideCase{"one_byte_space", {0x20, 0x00}},          // index -127
        OutsideCase{"one_byte_FD", {0xFD, 0x00}},             // index 11472
        OutsideCase{"one_byte_FF", {0xFF, 0x00}},             // row byte 0x9D
        OutsideCase{"lead_F0_first_glyph_past_end", {0xF0, 0x40}},  // index 8836
        OutsideCase{"lead_FC_last", {0xFC, 0xFC}},            // index 11279
        OutsideCase{"row1_column_byte_01", {0x81, 0x20}},     // index -32, fontK6x8 path
        OutsideCase{"row1_column_byte_20", {0x81, 0x3F}}),    // index -1, fontK6x8 path
    [](const auto& info) { return std::string(info.param.name); });

TEST(SelectGlyph, IndicesInsideTheFontsGiveWhatIsStoredThere) {
    // Not JIS X 0208 characters, yet their font index lies in 0..8835.
    EXPECT_EQ(selectGlyph({0x80, 0x00}), leftAligned(glyphOf(fontMisaki, 7, 4)));
    EXPECT_EQ(selectGlyph({0x41, 0x00}), leftAligned(glyphOf(fontMisaki, 7, 2975)));
    EXPECT_EQ(selectGlyph({0x7F, 0x00}), leftAligned(glyphOf(fontMisaki, 7, 8803)));
    EXPECT_EQ(selectGlyph({0xEF, 0xFC}), leftAligned(glyphOf(fontMisaki, 7, 8835)));
}

// --- glyphOwnerOf: whose glyph a code that is no Shift_JIS shows ---

struct OwnerCase {
    Code code;
    Code owner;
    bool sameCell;  // false where the owner itself is drawn from another font
};

class GlyphOwnerTest : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(GlyphOwnerTest, NamesTheCodeWhoseGlyphShows) {
    const auto [code, owner, sameCell] = GetParam();
    EXPECT_EQ(glyphOwnerOf(code), std::optional<Code>(owner));
    EXPECT_EQ(selectGlyph(code) == selectGlyph(owner), sameCell);
}

INSTANTIATE_TEST_SUITE_P(
    Glyph, GlyphOwnerTest,
    ::testing::Values(OwnerCase{{0x90, 0x01}, {0x91, 0x45}, true},   // two rows on
                      OwnerCase{{0x90, 0x3F}, {0x8F, 0xFC}, true},   // the row before's last place
                      OwnerCase{{0x90, 0x7F}, {0x90, 0x80}, true},   // 0x7F is read as 0x80
                      OwnerCase{{0x90, 0xFD}, {0x91, 0x40}, true},   // past the even row's end
                      OwnerCase{{0x90, 0xFF}, {0x91, 0x42}, true},
                      OwnerCase{{0x81, 0x7F}, {0x81, 0x80}, true},
                      OwnerCase{{0x83, 0x7F}, {0x83, 0x80}, true},   // a narrow katakana
                      OwnerCase{{0x81, 0x11}, {0x82, 0x55}, false},  // the digit's five-column glyph
                      OwnerCase{{0x82, 0x01}, {0x83, 0x96}, true})); // narrow glyph 0xE2, the small ke

TEST(GlyphOwner, EveryShiftJisCodeOwnsItsGlyph) {
    for (int lead = 0x81; lead <= 0xFC; ++lead)
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const Code code{static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
            if (!isKanji(code[0]) || !isTrailByte(code[1])) continue;
            const bool empty = selectGlyph(code) == GlyphCell{};
            EXPECT_EQ(glyphOwnerOf(code), empty ? std::nullopt : std::optional<Code>(code)) << formatCharCode(code);
        }
}

TEST(GlyphOwner, ACodeThatIsNoShiftJisIsOwnedByAShiftJisCodeUnlessItsCellIsEmpty) {
    for (int lead = 0x81; lead <= 0xFC; ++lead)
        for (int trail = 0x01; trail <= 0xFF; ++trail) {
            const Code code{static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
            if (!isKanji(code[0]) || isTrailByte(code[1])) continue;
            const std::optional<Code> owner = glyphOwnerOf(code);
            EXPECT_EQ(owner.has_value(), selectGlyph(code) != GlyphCell{}) << formatCharCode(code);
            if (owner) {
                EXPECT_TRUE(isKanji((*owner)[0]) && isTrailByte((*owner)[1])) << formatCharCode(code);
            }
        }
}

}  // namespace
}  // namespace kvz
