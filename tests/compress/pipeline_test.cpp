#include <gtest/gtest.h>

#include "compress/compress.h"
#include "compress/lines.h"

namespace kvz {
namespace {

// The normalised texts of the two-group sample file: seven groups named Ａ,
// one named Ｂ, and one entry ＡＢＣＤＡＢＣＤＡＢＣＤ / Ｃ / Ｃ / Ｅ / ＥＥ / ＥＥＥ.
TextBlock wholeFileTexts() {
    const std::string A = "\x82\x60", B = "\x82\x61", C = "\x82\x62", D = "\x82\x63",
                      E = "\x82\x64";
    const std::string abcd = A + B + C + D;
    return testing::textBlockOf({A, A, A, A, A, A, A, B, abcd + abcd + abcd, C, C, E, E + E, E + E + E});
}

TEST(Pipeline, WholeFileExample) {
    const TextBlock block = wholeFileTexts();
    ASSERT_EQ(block.size(), 71u);

    auto table = countChars(block);
    ASSERT_TRUE(table.ok());
    sortCharTable(*table);
    const std::pair<std::uint8_t, int> expectedTable[] = {
        {0x60, 10}, {0x64, 6}, {0x62, 5}, {0x61, 4}, {0x63, 3}};  // Ａ Ｅ Ｃ Ｂ Ｄ
    ASSERT_EQ(table->size(), std::size(expectedTable));
    for (std::size_t i = 0; i < table->size(); ++i) {
        EXPECT_EQ((*table)[i].code[0], 0x82);
        EXPECT_EQ((*table)[i].code[1], expectedTable[i].first);
        EXPECT_EQ((*table)[i].count, expectedTable[i].second);
    }

    CodeLines lines = encode16(*table, block);
    const std::uint32_t linesBefore = getLines16(lines), codesBefore = getCodes16(lines);
    EXPECT_EQ(linesBefore, 14u);
    EXPECT_EQ(codesBefore, 13u);

    substitutePhrases(lines, static_cast<std::uint16_t>(codesBefore));
    const std::uint32_t phrases = getLines16(lines) - linesBefore;
    ASSERT_EQ(phrases, 1u);
    // The long text became 13 13 13, and the phrase line 0 3 2 4 closes the lines.
    const CodeLines tail = {3, 13, 13, 13, 1, 2, 1, 2, 1, 1, 2, 1, 1, 3, 1, 1, 1, 4, 0, 3, 2, 4, 0};
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(CodeLines(lines.end() - static_cast<std::ptrdiff_t>(tail.size()), lines.end()), tail);

    const auto stream = encode8(lines, static_cast<std::int32_t>(phrases),
                                static_cast<std::uint16_t>(codesBefore),
                                GroupCounts{1, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(stream.ok()) << stream.reason();
    const std::vector<std::uint8_t> expected = {
        127, 13, 1,                                      // header
        4, 0, 3, 2, 4,                                   // the phrase
        1, 0, 0, 1,                                      // group 0
        1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0,  // groups 1 to 4
        1, 0, 1, 0, 1, 0, 1, 0, 1, 3, 1, 0,              // groups 5 to 7
        3, 13, 13, 13, 1, 2, 1, 2, 1, 1, 2, 1, 1, 3, 1, 1, 1};
    EXPECT_EQ(stream.value(), expected);
    EXPECT_EQ(stream->size(), 57u);
}

}  // namespace
}  // namespace kvz
