// kvzdeck build on texts that are not what they seem: line ends other than
// LF and CR LF, a KVZ deck given as the text, and two-byte codes that are no
// Shift_JIS.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "deck/deck.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

// Eight group names G0..G7, with `entry` as the one entry of group 0.
std::string oneEntryDeck(std::string_view entry) {
    std::string tsv = "G0\n";
    tsv.append(entry).append("\n");
    for (const char* name : {"G1", "G2", "G3", "G4", "G5", "G6", "G7"}) tsv.append(name).append("\n");
    return tsv;
}

struct Refusal {
    const char* name;
    std::string tsv;
    const char* reason;
};

class BuildRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(BuildRefusals, NameTheLineAndTheCause) {
    const Result<BuiltDeck> built = buildDeck(GetParam().tsv);
    ASSERT_FALSE(built.ok());
    EXPECT_EQ(built.reason(), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BuildRefusals,
    ::testing::Values(
        // A lead byte with a byte that is no trail byte is taken as meant
        // only when both are written as \xHH.
        Refusal{"LeadByteThenALetter", oneEntryDeck("L\ta\tb\\x90!\tc\td\te"),
                "2: short field 2: the lead byte 0x90 is followed by 0x21, which is no Shift_JIS trail byte; "
                "write both as \\x90\\x21 if the code is meant"},
        Refusal{"LeadByteThenATab", oneEntryDeck("\\xE0\\t\ta\tb\tc\td\te"),
                "2: long field: the lead byte 0xE0 is followed by 0x09, which is no Shift_JIS trail byte; "
                "write both as \\xE0\\x09 if the code is meant"},
        Refusal{"AMeantCodeThenALetter", oneEntryDeck("\\x90\\x01\\x90?\ta\tb\tc\td\te"),
                "2: long field: the lead byte 0x90 is followed by 0x3F, which is no Shift_JIS trail byte; "
                "write both as \\x90\\x3F if the code is meant"},
        Refusal{"LinesEndInCrAlone", "G0\ra\tb\tc\td\te\tf\rG1\rG2\rG3\rG4\rG5\rG6\rG7\r",
                "1: the lines end in CR alone, as in old Mac OS texts; kvzdeck reads lines that end in LF or CR "
                "LF: convert them first, e.g. with tr '\\r' '\\n' <old.tsv >new.tsv"},
        Refusal{"CrCrLf", "G0\r\r\na\tb\tc\td\te\tf\r\r\n",
                "1: the line ends in CR CR LF, which would keep a carriage return (0x0D) at the end of its last "
                "text; end lines in LF or CR LF, and write \\x0D where the byte is meant"},
        Refusal{"CrInsideALine", oneEntryDeck("L\ta\rb\tb\tc\td\te"),
                "2: a carriage return (0x0D) inside the line; lines end in LF or CR LF, and \\x0D writes the "
                "byte where it is meant"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildDeck, ReadsCrLfLineEnds) {
    const std::string lf = oneEntryDeck("L\ta\tb\tc\td\te");
    std::string crlf;
    for (const char c : lf) c == '\n' ? crlf.append("\r\n") : crlf.append(1, c);
    EXPECT_EQ(testing::deckFromTsv(crlf), testing::deckFromTsv(lf));
}

// A KVZ deck given as the text is named for what it is, whatever line the
// TSV reading would have stopped at.
TEST(BuildDeck, RecognisesAKvzDeck) {
    for (const char* deck : {"example", "sample", "large"}) {
        const std::string name = std::string(deck).append(".kvz");
        const std::vector<std::uint8_t> kvz = testing::readFileBytes(testing::sourcePath("examples/").append(name));
        const Result<BuiltDeck> built = buildDeck(std::string_view(reinterpret_cast<const char*>(kvz.data()), kvz.size()));
        ASSERT_FALSE(built.ok()) << name;
        EXPECT_EQ(built.failureKind(), FailureKind::notADeck) << name;
        EXPECT_EQ(describeBuildRefusal(name, built.failure()),
                  name + ": is a KVZ deck already, not a text: convert it with 'kvzpack " + name +
                      "', or write it as text with 'kvzdeck dump " + name + "'");
    }
    const Result<BuiltDeck> text = buildDeck("L\ta\tb\n");
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(describeBuildRefusal("deck.tsv", text.failure()),
              "deck.tsv:1: 3 tab-separated fields; a group name line has 1, an entry line 6");
}

// Written as two escapes, a code that is no Shift_JIS is kept as it is,
// with a warning for its line that names what the device shows.
TEST(BuildDeck, KeepsCodesThatAreNotShiftJisAndWarns) {
    std::string tsv = oneEntryDeck("L\ta\tb\tc\td\te");
    tsv.insert(tsv.find("G1"), "\\x90\\x01\\x90\\x01\ta\tb\\x81\\xFD\tc\td\te\n");
    const Result<BuiltDeck> built = buildDeck(tsv);
    ASSERT_TRUE(built.ok()) << built.reason();
    EXPECT_EQ(built->warnings,
              (std::vector<std::string>{
                  "3: warning: long field: 0x9001 is not Shift_JIS; the device draws it with the glyph of 0x9145 '薦'",
                  "3: warning: long field: 0x9001 is not Shift_JIS; the device draws it with the glyph of 0x9145 '薦'",
                  "3: warning: short field 2: 0x81FD is not Shift_JIS; the device shows an empty cell for it"}));
    std::vector<std::uint8_t> expected;
    testing::appendRecord(expected, testing::groupRecord("G0", 2));
    for (const char* name : {"G1", "G2", "G3", "G4", "G5", "G6", "G7"})
        testing::appendRecord(expected, testing::groupRecord(name, 0));
    testing::appendRecord(expected, testing::entryRecord({"L", "a", "b", "c", "d", "e"}));
    testing::appendRecord(expected, testing::entryRecord({"\x90\x01\x90\x01", "a", "b\x81\xFD", "c", "d", "e"}));
    EXPECT_EQ(built->kvz, expected);
}

}  // namespace
}  // namespace kvz
