#include <gtest/gtest.h>

#include "compress/compress.h"
#include "compress/lines.h"

namespace kvz {
namespace {

TextBlock blockOf(const std::vector<std::string>& texts) { return testing::textBlockOf(texts); }

const std::string X = "\x88\x9F", Y = "\x82\xA0", Z = "\x83\x41";

TEST(CharTable, EmptyBlockGivesNothing) {
    const TextBlock block{0};
    const auto table = countChars(block);
    ASSERT_TRUE(table.ok());
    EXPECT_TRUE(table->empty());
    const CodeLines lines = encode16(*table, block);
    EXPECT_EQ(lines, CodeLines{0});
    EXPECT_EQ(getLines16(lines), 0u);
    EXPECT_EQ(getCodes16(lines), 0u);
}

TEST(CharTable, CountsInOrderOfFirstAppearanceThenSortsByCount) {
    const TextBlock block = blockOf({X + Y + X, Z + X});
    auto table = countChars(block);
    ASSERT_TRUE(table.ok());
    ASSERT_EQ(table->size(), 3u);
    const std::uint8_t x0 = 0x88, y0 = 0x82, z0 = 0x83;
    EXPECT_EQ((*table)[0].code[0], x0);
    EXPECT_EQ((*table)[0].count, 3);
    EXPECT_EQ((*table)[1].code[0], y0);
    EXPECT_EQ((*table)[1].count, 1);
    EXPECT_EQ((*table)[2].code[0], z0);
    EXPECT_EQ((*table)[2].count, 1);

    sortCharTable(*table);
    EXPECT_EQ((*table)[0].code[0], x0);
    // Equal counts keep their order of first appearance.
    EXPECT_EQ((*table)[1].code[0], y0);
    EXPECT_EQ((*table)[2].code[0], z0);

    const CodeLines lines = encode16(*table, block);
    EXPECT_EQ(lines, (CodeLines{3, 0, 1, 0, 2, 2, 0, 0}));
    EXPECT_EQ(getLines16(lines), 2u);
    EXPECT_EQ(getCodes16(lines), 4u);  // the length word 3 is the largest word
}

TEST(CharTable, RepeatedCharacterAndMixedWidths) {
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += X;
    const TextBlock block = blockOf({ten, X + " " + Y + Z + "A"});
    auto table = countChars(block);
    ASSERT_TRUE(table.ok());
    sortCharTable(*table);
    const CodeLines lines = encode16(*table, block);
    ASSERT_EQ(lines[0], 10);
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(lines[i], 0);
    auto alone = countChars(blockOf({ten}));
    ASSERT_TRUE(alone.ok());
    EXPECT_EQ(alone->size(), 1u);
    EXPECT_EQ(getCodes16(encode16(*alone, blockOf({ten}))), 11u);
    // Second line: X, space, Y, Z, A: five characters, two of them one byte.
    ASSERT_EQ(lines[11], 5);
    const CharEntry& space = (*table)[lines[13]];
    EXPECT_EQ(space.code[0], ' ');
    EXPECT_EQ(space.code[1], 0);
    const CharEntry& letter = (*table)[lines[16]];
    EXPECT_EQ(letter.code[0], 'A');
    EXPECT_EQ(letter.code[1], 0);
}

TEST(CharTable, OneByteNeverMatchesTwoByte) {
    // 0x82 0x41 is a two-byte character whose trail byte is 'A'.
    const TextBlock block = blockOf({"\x82\x41" "A"});
    auto table = countChars(block);
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(table->size(), 2u);
}

TEST(CharTable, TextsBehindAnEmptyTextAreIgnored) {
    TextBlock block = blockOf({X});
    block.insert(block.end(), Y.begin(), Y.end());  // after the closing empty text
    block.push_back(0);
    auto table = countChars(block);
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(table->size(), 1u);
    EXPECT_EQ(getLines16(encode16(*table, block)), 1u);
}

TEST(CharTable, LoneLeadByteEndsItsText) {
    const TextBlock block = blockOf({X + "\x88", Y});
    auto table = countChars(block);
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(table->size(), 2u);
    const CodeLines lines = encode16(*table, block);
    EXPECT_EQ(lines, (CodeLines{1, 0, 1, 1, 0}));
}

TEST(CharTable, SortComparesCountsAsSigned16Bit) {
    CharTable table{{{'a', 0}, 5}, {{'b', 0}, 40000}, {{'c', 0}, 7}};
    EXPECT_GT(cmpCode(table[1], table[0]), 0);  // 40000 counts as -25536
    sortCharTable(table);
    // 40000 reads as a negative count and sorts last.
    EXPECT_EQ(table[0].code[0], 'c');
    EXPECT_EQ(table[1].code[0], 'a');
    EXPECT_EQ(table[2].code[0], 'b');
}

TEST(CharTable, RefusesCountsBeyondSixteenBits) {
    TextBlock block;
    for (int i = 0; i < 65536; ++i) {
        block.push_back('A');
        block.push_back(0);
    }
    block.push_back(0);
    const auto table = countChars(block);
    ASSERT_FALSE(table.ok());
    EXPECT_NE(table.reason().find("65536"), std::string::npos) << table.reason();
    EXPECT_NE(table.reason().find("65535"), std::string::npos) << table.reason();

    block.erase(block.begin(), block.begin() + 2);  // now exactly 65535 times
    EXPECT_TRUE(countChars(block).ok());
}

TEST(CharTable, UnknownCharacterCodesAsZero) {
    const CharTable table{{{0x88, 0x9F}, 1}};
    EXPECT_EQ(encode16(table, blockOf({Y + X})), (CodeLines{2, 0, 0, 0}));
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

TEST(CodeLineList, JoinGivesLengthWordsAndTheClosingZero) {
    const std::vector<std::vector<std::uint16_t>> lines{{5, 6}, {7}, {300, 0, 9}};
    EXPECT_EQ(joinCodeLines(lines), (CodeLines{2, 5, 6, 1, 7, 3, 300, 0, 9, 0}));
    EXPECT_EQ(joinCodeLines({}), (CodeLines{0}));
}

TEST(CodeLineList, SplitGivesEachLineWithItsLengthWord) {
    const CodeLines codeLines{2, 5, 6, 1, 7, 0, 4, 4};  // nothing after the zero word counts
    const auto lines = splitCodeLines(codeLines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::uint16_t>(lines[0].begin(), lines[0].end()), (std::vector<std::uint16_t>{2, 5, 6}));
    EXPECT_EQ(std::vector<std::uint16_t>(lines[1].begin(), lines[1].end()), (std::vector<std::uint16_t>{1, 7}));
}

TEST(CodeLineList, SplitKeepsALineCutShortByTheEnd) {
    const CodeLines codeLines{1, 8, 5, 1, 2};  // the second line announces 5 codes, 2 are there
    const auto lines = splitCodeLines(codeLines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::uint16_t>(lines[1].begin(), lines[1].end()), (std::vector<std::uint16_t>{5, 1, 2}));
}

}  // namespace
}  // namespace kvz
