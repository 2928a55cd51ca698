// What kvzpack tells about a deck: the characters that will not show on
// the device, found once each, counted, placed; and the figures of the
// --verbose summary, checked against each other and against the image. The
// warnings and summaries as kvzpack prints them are pinned in tests/cli
// (missing-glyph-*, verbose*, best-verbose).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "core/pack.h"
#include "core/report.h"
#include "support/fixtures.h"

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
                         "no glyph for ⅰ (0xFA40) (used 3 times, first in group 2 entry 0 short field 1)",
                         "no glyph for 0xF040 (used 3 times, first in group 2 entry 0 short field 3)",
                         "no glyph for 0xF9FC (used 1 time, first in group 2 entry 1 short field 3)",
                     }));
}

PackedDeck packed(const std::string& fileName, Encoder encoder) {
    auto result = packDeckBytes(testing::bundledDeckBytes(fileName), PackOptions{false, false, encoder});
    EXPECT_TRUE(result.ok()) << result.reason();
    return result.ok() ? std::move(result.value()) : PackedDeck{};
}

// The summary's numbers, in the order they are printed, and the stream's
// addition with --best.
struct Summary {
    std::vector<unsigned long> numbers;  // texts, characters, distinct, phrases, stream, glyphs, image
    std::string saving;
    std::string share;
};

Summary parseSummary(const std::string& line) {
    static const std::regex summary(
        R"(deck\.kvz: (\d+) texts, (\d+) characters \((\d+) distinct\), (\d+) phrases?, stream (\d+) bytes(.*), )"
        R"(glyphs (\d+) bytes, image (\d+) bytes = (\d+\.\d)% of 64048, 0\.250 s)");
    std::smatch match;
    if (!std::regex_match(line, match, summary)) {
        ADD_FAILURE() << line;
        return {};
    }
    Summary parsed;
    for (int i : {1, 2, 3, 4, 5, 7, 8}) parsed.numbers.push_back(std::stoul(match[i].str()));
    parsed.saving = match[6];
    parsed.share = match[9];
    return parsed;
}

class VerboseSummary : public ::testing::TestWithParam<const char*> {};

TEST_P(VerboseSummary, FiguresAddUp) {
    const PackedDeck deck = packed(GetParam(), Encoder::standard);
    const Summary summary = parseSummary(formatSummary("deck.kvz", deck.figures, 0.25));
    ASSERT_EQ(summary.numbers.size(), 7u);
    const std::vector<unsigned long>& n = summary.numbers;
    const unsigned long texts = n[0], characters = n[1], distinct = n[2], phrases = n[3], stream = n[4],
                        glyphs = n[5], image = n[6];
    EXPECT_EQ(image, deck.image.size());
    EXPECT_EQ(4 + stream + glyphs, image) << "header, stream and glyphs";
    EXPECT_EQ(stream % 7, 0u);
    EXPECT_EQ(glyphs, 7 * ((7 * distinct + 7) / 8)) << "one packed cell per distinct character";
    EXPECT_LE(distinct, characters);
    EXPECT_GE(texts, kGroupCount);
    EXPECT_GT(phrases, 0u);
    EXPECT_EQ(summary.saving, "");
    char share[16];
    std::snprintf(share, sizeof share, "%.1f", 100.0 * static_cast<double>(image) / 64048);
    EXPECT_EQ(summary.share, share);
}

INSTANTIATE_TEST_SUITE_P(Examples, VerboseSummary, ::testing::Values("example.kvz", "sample.kvz"),
                         [](const auto& info) { return testing::bundledDeckName(info.param); });

// With --best the stream's figure tells the default encoding's stream and
// the saving, against a conversion without --best.
TEST(VerboseSummary, WithBestTellsTheSaving) {
    const PackedDeck best = packed("sample.kvz", Encoder::best);
    const PackedDeck standard = packed("sample.kvz", Encoder::standard);
    const Summary ours = parseSummary(formatSummary("deck.kvz", best.figures, 0.25));
    const Summary theirs = parseSummary(formatSummary("deck.kvz", standard.figures, 0.25));
    ASSERT_EQ(ours.numbers.size(), 7u);
    ASSERT_EQ(theirs.numbers.size(), 7u);
    const unsigned long ourStream = ours.numbers[4], theirStream = theirs.numbers[4];
    EXPECT_LT(ourStream, theirStream);
    EXPECT_LT(best.image.size(), standard.image.size());
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.1f%%",
                  100.0 * static_cast<double>(theirStream - ourStream) / static_cast<double>(theirStream));
    EXPECT_EQ(ours.saving, " (default " + std::to_string(theirStream) + ": " + std::to_string(theirStream - ourStream) +
                               " saved, " + percent + ")");
}

}  // namespace
}  // namespace kvz
