// Characters that will not show on the device: found once each, counted,
// placed. The warnings and the --strict failure as kvzpack prints them are
// pinned in tests/cli (missing-glyph-*).
#include <gtest/gtest.h>

#include "core/report.h"

namespace kvz {
namespace {

// A KvzFile from texts: 8 group names, then six texts per entry; the counts
// say how the entries fall into groups.
KvzFile deckOf(const std::vector<std::string>& texts, const GroupCounts& counts) {
    KvzFile deck;
    for (const std::string& text : texts) {
        deck.textBlock.insert(deck.textBlock.end(), text.begin(), text.end());
        deck.textBlock.push_back(0);
    }
    deck.textBlock.push_back(0);
    deck.groupCounts = counts;
    return deck;
}

std::vector<std::string> groupNames() {
    return {"\x82\x60", "\x82\x61", "\x82\x62", "\x82\x63", "\x82\x64", "\x82\x65", "\x82\x66", "\x82\x67"};
}

TEST(WarnPlaces, TextIndexesBecomeGroupEntryAndField) {
    const GroupCounts counts{2, 0, 1, 0, 0, 0, 0, 3};
    const std::pair<std::size_t, const char*> cases[] = {
        {0, "group 0 name"},
        {7, "group 7 name"},
        {8, "group 0 entry 0 long field"},
        {13, "group 0 entry 0 short field 5"},
        {14, "group 0 entry 1 long field"},
        {20, "group 2 entry 0 long field"},  // group 1 is empty
        {26 + 2, "group 7 entry 0 short field 2"},
        {26 + 6 * 2 + 5, "group 7 entry 2 short field 5"},
    };
    for (auto [index, text] : cases) EXPECT_EQ(describeTextPlace(placeOfText(index, counts)), text) << index;
}

TEST(WarnCodes, OneAndTwoByteForms) {
    EXPECT_EQ(formatCharCode({0xFA, 0x40}), "0xFA40");
    EXPECT_EQ(formatCharCode({0x81, 0x40}), "0x8140");
    EXPECT_EQ(formatCharCode({0xFD, 0x00}), "0xFD");
    EXPECT_EQ(formatCharCode({0x20, 0x00}), "0x20");
}

TEST(WarnFind, SpacesAndDrawnCharactersAreNotReported) {
    // One-byte space, ideographic space, Ａ, ０, あ, 日, カ (narrow ｶ), ゛.
    std::vector<std::string> texts = groupNames();
    for (const char* field : {" \x81\x40", "\x82\x60\x82\x4F", "\x82\xA0", "\x93\xFA", "\x83\x4A", "\x81\x4A"})
        texts.push_back(field);
    EXPECT_TRUE(findMissingGlyphs(deckOf(texts, {1, 0, 0, 0, 0, 0, 0, 0})).empty());
}

TEST(WarnFind, EachMissingCharacterOnceWithCountAndFirstPlace) {
    std::vector<std::string> texts = groupNames();
    texts[3] = "\x82\x60\xFD";  // group 3's name: Ａ and the one-byte 0xFD
    // Group 0 entry 0, then group 2 entries 0 and 1.
    const std::vector<std::string> entries{
        "\x82\x60", "\x82\x60", "\x82\x60", "\x82\x60", "\x82\x60", "\x82\x60",
        "\x82\x60", "\xFA\x40", "\x82\x60", "\xF0\x40\xFA\x40", "\x82\x60", "\x82\x60",
        "\xFA\x40", "\x82\x60", "\x82\x60", "\xF9\xFC", "\xFD", "\xF0\x40\xF0\x40",
    };
    texts.insert(texts.end(), entries.begin(), entries.end());
    const auto missing = findMissingGlyphs(deckOf(texts, {1, 0, 2, 0, 0, 0, 0, 0}));
    ASSERT_EQ(missing.size(), 4u);
    std::vector<std::string> lines;
    for (const MissingGlyph& glyph : missing) lines.push_back(describeMissingGlyph(glyph));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "no glyph for 0xFD (used 2 times, first in group 3 name)",
                         "no glyph for 0xFA40 (used 3 times, first in group 2 entry 0 short field 1)",
                         "no glyph for 0xF040 (used 3 times, first in group 2 entry 0 short field 3)",
                         "no glyph for 0xF9FC (used 1 time, first in group 2 entry 1 short field 3)",
                     }));
}

}  // namespace
}  // namespace kvz
