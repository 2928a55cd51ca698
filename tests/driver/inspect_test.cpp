// --inspect: the summary of an image written earlier, entries drawn with
// block characters, and one clear line for a file that is no image.
#include <gtest/gtest.h>

#include "cli_support.h"
#include "hexfile/hex.h"
#include "io/format_files.h"

namespace kvz {
namespace {

using namespace cli_testing;

// The example converted in `dir`: example.ihx.
void convertExample(const TempDir& dir) {
    cli_testing::copyExample(dir);
    ASSERT_EQ(kvzpack(dir, {"example.kvz"}).exitStatus, 0);
}

TEST(InspectSummary, OfTheExample) {
    TempDir dir;
    convertExample(dir);
    const ProcessResult run = kvzpack(dir, {"--inspect", "example.ihx"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // 95 bytes: header, 56 stream bytes from 05D4 (57 values, the first of
    // them B - 1 = 127, then F = 13 and one phrase), the 35 bytes of 5 cells
    // from 05D4 + 56 = 060C. Group 0 holds the one entry; the entries of the
    // empty groups would start behind it.
    std::string expected =
        "example.ihx: image 05D0-062E, 95 bytes = 0.1% of 64048\n"
        "stream: 05D4-060B, 56 bytes, one-byte limit 128, first phrase code 13\n"
        "phrases: 1\n"
        "glyph area: 060C-062E, 35 bytes, 5 cells\n"
        "texts: 14 (1 entry), 28 characters\n"
        "group 0: 1 entry from index 0, name of 1 character\n";
    for (int g = 1; g < 8; ++g)
        expected += "group " + std::to_string(g) + ": 0 entries from index 1, name of 1 character\n";
    EXPECT_EQ(run.out, expected);
}

TEST(InspectSummary, ManyEntriesPerGroup) {
    TempDir dir;
    testing::writeFile(dir / "deck.kvz", cli_testing::deckWithoutSomeGlyphs());
    ASSERT_EQ(kvzpack(dir, {"deck.kvz"}).exitStatus, 0);
    const ProcessResult run = kvzpack(dir, {"--inspect=deck.ihx"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("\ngroup 0: 1 entry from index 0, name of 1 character\n"
                           "group 1: 2 entries from index 1, name of 1 character\n"
                           "group 2: 0 entries from index 3, name of 1 character\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\ntexts: 26 (3 entries), "), std::string::npos) << run.out;
}

// The narrow A, columns 3E 09 3E: column 1 holds rows 0 and 3, the outer
// columns rows 1 to 5; two rows per line, a cell 7 columns wide.
const std::vector<std::string> kLetterA{"▄▀▄    ", "█▄█    ", "█ █    ", "       "};

TEST(InspectEntry, AGroupNameDrawnWithHalfBlocks) {
    TempDir dir;
    convertExample(dir);
    const ProcessResult run = kvzpack(dir, {"--inspect", "example.ihx", "--entry", "0"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::string expected = "group 0\nname: 1 character\n";
    for (const std::string& line : kLetterA) expected += line + "\n";
    EXPECT_EQ(run.out, expected);
}

std::size_t columnsOf(const std::string& line) {
    std::size_t columns = 0;
    for (const unsigned char c : line) columns += (c & 0xC0) != 0x80;  // one per UTF-8 character
    return columns;
}

TEST(InspectEntry, SixTextsOfAnEntryEachUnderItsHeading) {
    TempDir dir;
    convertExample(dir);
    const ProcessResult run = kvzpack(dir, {"--entry=0:0", "--inspect", "example.ihx"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto lines = cli_testing::splitLines(run.out);
    // Heading, then per text its heading and 4 lines per row of 11 cells:
    // the long text's 12 characters take two rows.
    ASSERT_EQ(lines.size(), 1u + (1 + 8) + 5 * (1 + 4)) << run.out;
    EXPECT_EQ(lines[0], "group 0 entry 0");
    EXPECT_EQ(lines[1], "long field: 12 characters");
    EXPECT_EQ(lines[10], "short field 1: 1 character");
    EXPECT_EQ(lines[15], "short field 2: 1 character");
    EXPECT_EQ(lines[20], "short field 3: 1 character");
    EXPECT_EQ(lines[25], "short field 4: 2 characters");
    EXPECT_EQ(lines[30], "short field 5: 3 characters");
    for (std::size_t row = 0; row < 4; ++row) {
        EXPECT_EQ(columnsOf(lines[2 + row]), 77u) << "11 cells of 7 columns";
        EXPECT_EQ(columnsOf(lines[6 + row]), 7u) << "the twelfth character";
        // ABCD ABCD ABC | D: the A stands in cells 0, 4 and 8.
        for (std::size_t cell : {0u, 4u, 8u}) {
            std::string drawn;
            std::size_t column = 0;
            for (std::size_t at = 0; at < lines[2 + row].size(); ++at) {
                const unsigned char c = static_cast<unsigned char>(lines[2 + row][at]);
                if ((c & 0xC0) != 0x80) ++column;
                if (column > cell * 7 && column <= cell * 7 + 7) drawn += lines[2 + row][at];
            }
            EXPECT_EQ(drawn, kLetterA[row]) << "cell " << cell << " row " << row;
        }
        EXPECT_EQ(columnsOf(lines[26 + row]), 14u) << "EE";
    }
}

TEST(InspectEntry, AnEntryThatIsNotThere) {
    TempDir dir;
    convertExample(dir);
    const std::pair<const char*, const char*> cases[] = {
        {"0:1", "kvzpack: example.ihx: group 0 has 1 entry; there is no entry 1\n"},
        {"3:0", "kvzpack: example.ihx: group 3 has 0 entries; there is no entry 0\n"},
    };
    for (auto [entry, line] : cases) {
        const ProcessResult run = kvzpack(dir, {"--inspect", "example.ihx", "--entry", entry});
        EXPECT_EQ(run.exitStatus, 1) << entry;
        EXPECT_EQ(run.err, line);
        EXPECT_EQ(run.out, "");
    }
}

std::string exampleHexText() {
    TempDir dir;
    cli_testing::copyExample(dir);
    EXPECT_EQ(kvzpack(dir, {"example.kvz"}).exitStatus, 0);
    return testing::readFileText(dir / "example.ihx");
}

TEST(InspectRefusal, DamagedForeignAndMissingFilesGetOneLine) {
    TempDir dir;
    std::string damaged = exampleHexText();
    damaged[20] = damaged[20] == '0' ? '1' : '0';  // a data digit: the checksum no longer fits
    testing::writeFile(dir / "damaged.ihx", damaged);
    std::string cut = exampleHexText();
    testing::writeFile(dir / "cut.ihx", cut.substr(0, cut.size() / 2 + 5));
    testing::writeFile(dir / "foreign.ihx", std::string_view(":0400000001020304F2\r\n:00000001FF\r\n"));
    testing::writeFile(dir / "deck.kvz", cli_testing::exampleDeck());
    // Well-formed HEX at the load address whose bytes are no image.
    const std::vector<std::uint8_t> junk{0x00, 0x00, 0xFF, 0xFF, 0x7F, 0x7F, 0x7F};
    ASSERT_TRUE(writeHexAbs((dir / "junk.ihx").string(), junk, 0x05D0, false).ok());
    fs::create_directory(dir / "folder.ihx");

    const std::pair<const char*, const char*> cases[] = {
        {"damaged.ihx", "kvzpack: damaged.ihx: line 1: checksum F0, expected F1\n"},
        {"cut.ihx", nullptr},
        {"deck.kvz", "kvzpack: deck.kvz: line 1: does not begin with ':'\n"},
        {"foreign.ihx", "kvzpack: foreign.ihx: not a device image: its data starts at 0x0000, not at 0x05D0\n"},
        {"junk.ihx", nullptr},
        {"missing.ihx", "kvzpack: missing.ihx: cannot open: No such file or directory\n"},
        {"folder.ihx", nullptr},
    };
    for (auto [name, line] : cases) {
        const ProcessResult run = kvzpack(dir, {"--inspect", name});
        EXPECT_EQ(run.exitStatus, 1) << name;
        EXPECT_EQ(run.out, "") << name;
        if (line) {
            EXPECT_EQ(run.err, line);
        } else {
            EXPECT_EQ(run.err.rfind("kvzpack: " + std::string(name) + ": ", 0), 0u) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        }
    }
}

// The example's image has seven lines: six data records from 0x05D0, the last
// one of 15 bytes, and the end record; line 3 begins with the byte 00.
TEST(InspectRefusal, ADamagedImageIsNamedByItsLine) {
    TempDir dir;
    const std::string image = exampleHexText();
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < image.size();) {
        const std::size_t end = image.find("\r\n", start) + 2;
        lines.push_back(image.substr(start, end - start));
        start = end;
    }
    ASSERT_EQ(lines.size(), 7u);
    ASSERT_EQ(lines[6], ":00000001FF\r\n");
    ASSERT_EQ(lines[2].substr(0, 11), ":1005F00000");
    const auto joined = [&](std::initializer_list<std::size_t> order) {
        std::string text;
        for (std::size_t i : order) text += lines[i];
        return text;
    };
    const std::pair<std::string, std::string> cases[] = {
        {joined({0, 1, 3, 4, 5, 6}), "line 3: gap before this record: no data for 0x05F0-0x05FF"},
        {joined({0, 1, 2, 3, 4, 5}), "line 6: no end record after this last record"},
        {joined({0, 1, 2, 3}) + ":0000000000\r\n" + joined({4, 5, 6}),
         "line 5: data record without bytes, with more data after it"},
        {joined({0, 1, 2}) + ":0105F000FF0B\r\n" + joined({3, 4, 5, 6}),
         "line 4: address 0x05F0 holds FF here but 00 on line 3"},
        {joined({0, 1}) + ":020000040000FA\r\n" + joined({2, 3, 4, 5, 6}),
         "line 3: record type 04 is not supported (only 00 data and 01 end)"},
        {"1:" + lines[0], "line 1: does not begin with ':'"},
    };
    for (const auto& [text, reason] : cases) {
        testing::writeFile(dir / "bad.ihx", text);
        const ProcessResult run = kvzpack(dir, {"--inspect", "bad.ihx"});
        EXPECT_EQ(run.exitStatus, 1) << reason;
        EXPECT_EQ(run.err, std::string("kvzpack: bad.ihx: ") + reason + "\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST(InspectRefusal, RecordsAfterTheEndGiveAWarningAndTheSummary) {
    TempDir dir;
    const std::string image = exampleHexText();
    testing::writeFile(dir / "clean.ihx", image);
    testing::writeFile(dir / "trailing.ihx", image + "\r\n" + image);
    const ProcessResult clean = kvzpack(dir, {"--inspect", "clean.ihx"});
    const ProcessResult trailing = kvzpack(dir, {"--inspect", "trailing.ihx"});
    EXPECT_EQ(trailing.exitStatus, 0);
    EXPECT_EQ(trailing.err, "kvzpack: trailing.ihx: warning: line 9: records after the end record, not read\n");
    std::string expected = clean.out;
    for (std::size_t at = expected.find("clean.ihx"); at != std::string::npos; at = expected.find("clean.ihx", at))
        expected.replace(at, 9, "trailing.ihx");
    EXPECT_EQ(trailing.out, expected);
}

}  // namespace
}  // namespace kvz
