// kvzdeck's library: TSV -> KVZ, KVZ -> TSV.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "deck/deck.h"
#include "input/kvz.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::appendRecord;
using testing::entryRecord;
using testing::groupRecord;
using testing::readFileBytes;
using testing::readFileText;
using testing::sjis;
using testing::sourcePath;

constexpr std::array<std::size_t, 6> kFieldOffsets{0, 116, 144, 172, 200, 228};

// Eight group names G0..G7; `entries` lines are put under group 0.
std::string deckTsv(const std::vector<std::string>& entries) {
    std::string tsv = "G0\n";
    for (const std::string& entry : entries) tsv += entry + "\n";
    for (int g = 1; g < 8; ++g) tsv += std::string("G").append(std::to_string(g)).append("\n");
    return tsv;
}

// The content lines of a TSV: no comments, no blank lines.
std::vector<std::string> contentLines(const std::string& tsv) {
    std::vector<std::string> lines;
    std::istringstream in(tsv);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() != '#') lines.push_back(line);
    }
    return lines;
}

// The stored text of entry field `field` of the first entry record, top
// bits inverted back, up to the padding.
std::string firstEntryField(const std::vector<std::uint8_t>& kvz, std::size_t field) {
    const std::size_t width = field == 0 ? 116 : 28;
    std::string text;
    for (std::size_t i = 0; i < width; ++i) text += static_cast<char>(kvz.at(2048 + kFieldOffsets[field] + i) ^ 0x80);
    return text.substr(0, text.find_last_not_of('\xA0') + 1);
}

TEST(BuildKvz, WholeFileExampleIsExactly2304BytesAsDescribed) {
    std::vector<std::uint8_t> expected(9 * 256, 0x20);
    for (int g = 0; g < 8; ++g) {
        expected[g * 256] = g == 7 ? 'B' : 'A';
        for (int i = 16; i < 20; ++i) expected[g * 256 + i] = 0x00;
    }
    expected[18] = 0x01;  // group 0: one entry
    const std::vector<std::pair<std::size_t, std::string>> fields{
        {0, "ABCDABCDABCD"}, {116, "C"}, {144, "C"}, {172, "E"}, {200, "EE"}, {228, "EEE"}};
    for (const auto& [offset, text] : fields) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            expected[2048 + offset + i] = static_cast<std::uint8_t>(text[i] | 0x80);
        }
    }
    EXPECT_EQ(expected[2048], 0xC1);
    EXPECT_EQ(expected[2051], 0xC4);

    const std::vector<std::uint8_t> built = testing::deckFromTsv(readFileText(sourcePath("examples/example.tsv")));
    EXPECT_EQ(built, expected);
    EXPECT_EQ(readFileBytes(sourcePath("examples/example.kvz")), expected);
}

class ExampleDecks : public ::testing::TestWithParam<std::string> {};

TEST_P(ExampleDecks, CommittedKvzIsBuiltFromItsTsv) {
    const std::filesystem::path kvz = sourcePath("examples/" + GetParam() + ".kvz");
    if (!std::filesystem::exists(kvz)) GTEST_SKIP() << "no " << kvz << " committed";
    EXPECT_EQ(testing::deckFromTsv(readFileText(sourcePath("examples/" + GetParam() + ".tsv"))),
              readFileBytes(kvz));
}

TEST_P(ExampleDecks, TsvToKvzToTsvKeepsEveryLine) {
    const std::string tsv = readFileText(sourcePath("examples/" + GetParam() + ".tsv"));
    const Result<std::string> dumped = dumpKvz(testing::deckFromTsv(tsv));
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    EXPECT_EQ(contentLines(*dumped), contentLines(tsv));
}

TEST_P(ExampleDecks, KvzToTsvToKvzKeepsEveryByte) {
    const std::vector<std::uint8_t> kvz =
        testing::deckFromTsv(readFileText(sourcePath("examples/" + GetParam() + ".tsv")));
    const Result<std::string> dumped = dumpKvz(kvz);
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    EXPECT_EQ(testing::deckFromTsv(*dumped), kvz);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleDecks, ::testing::Values("example", "sample", "large"));

struct ErrorCase {
    const char* name;
    std::string tsv;
    std::string reason;
};

class BuildKvzErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BuildKvzErrors, NameTheLine) {
    const Result<std::vector<std::uint8_t>> built = buildKvz(GetParam().tsv);
    ASSERT_FALSE(built.ok());
    EXPECT_EQ(built.reason(), GetParam().reason);
}

std::string repeat(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += text;
    return out;
}

// What the refusals add as the fix.
constexpr std::string_view kShorten = "; shorten it (a kanji or kana takes 2 bytes), or build with --cut";
constexpr std::string_view kFill = "; fill it in (the device cannot show an empty text)";
constexpr std::string_view kSaveAsUtf8 =
    "; save the file as UTF-8 (kvzdeck also reads UTF-16 with a byte order mark and CP932)";

std::string withFix(std::string_view reason, std::string_view fix) { return std::string(reason) + std::string(fix); }

INSTANTIATE_TEST_SUITE_P(
    Lines, BuildKvzErrors,
    ::testing::Values(
        ErrorCase{"ShortFieldTooLong", deckTsv({"L\t" + repeat("あ", 15) + "\tb\tc\td\te"}),
                  withFix("2: short field 1 is 30 bytes in Shift_JIS, the field holds 28", kShorten)},
        ErrorCase{"LongFieldTooLong", deckTsv({"x\ty\tz\tw\tv\tu", repeat("x", 117) + "\tb\tc\td\te\tf"}),
                  withFix("3: long field is 117 bytes in Shift_JIS, the field holds 116", kShorten)},
        ErrorCase{"GroupNameTooLong", "# comment\n" + repeat("名", 9) + "\n",
                  withFix("2: group name is 18 bytes in Shift_JIS, the field holds 16", kShorten)},
        ErrorCase{"NoShiftJisForm", deckTsv({"L\ta\t😀\tc\td\te"}),
                  "2: short field 2: '😀' (U+1F600) has no Shift_JIS form; write another character, or build with "
                  "--replace=〓 to put 〓 (or the character given) in its place"},
        ErrorCase{"EmptyField", deckTsv({"L\ta\tb\tc\t\te"}), withFix("2: short field 4 is empty", kFill)},
        ErrorCase{"EmptyMarkerIsEmpty", deckTsv({"L\ta\tb\tc\td\t\\e"}), withFix("2: short field 5 is empty", kFill)},
        ErrorCase{"WrongFieldCount", deckTsv({"L\ta\tb"}),
                  "2: 3 tab-separated fields; a group name line has 1, an entry line 6"},
        ErrorCase{"SevenFields", deckTsv({"L\ta\tb\tc\td\te\tf"}),
                  "2: 7 tab-separated fields; a group name line has 1, an entry line 6"},
        ErrorCase{"EntryBeforeGroup", "\n# c\nL\ta\tb\tc\td\te\n", "3: an entry before the first group name; put a group name (a line with no tab) before it"},
        ErrorCase{"NineGroups", deckTsv({}) + "\nG8\n", "10: a 9th group name; a deck has exactly 8 groups: join groups, or make a second deck"},
        ErrorCase{"SevenGroups", "A\nB\nC\nD\nE\nF\nG\n\n# end\n",
                  "9: the deck has 7 group names; it needs exactly 8, and a group may have no entries: add 1 more "
                  "group name line"},
        ErrorCase{"NothingAtAll", "", "1: the deck has 0 group names; it needs exactly 8, and a group may have no entries: add 8 more "
                  "group name lines"},
        ErrorCase{"SpaceInGroupName", "My deck\n", "1: group name holds a space, which ends a group name; leave it out, or write a full-width space "
                  "(U+3000) instead"},
        ErrorCase{"A0InEntry", deckTsv({"L\ta\\xA0b\tb\tc\td\te"}),
                  "2: short field 1 holds the byte 0xA0, which ends an entry field"},
        ErrorCase{"LoneLeadBeforePadding", deckTsv({"L\ta\\x82\tb\tc\td\te"}),
                  "2: short field 1 ends in the lone lead byte 0x82, which would take the padding as its "
                  "second byte"},
        ErrorCase{"StartsWithZeroByte", deckTsv({"\\x00L\ta\tb\tc\td\te"}),
                  "2: long field starts with a zero byte, which reads as an empty text"},
        ErrorCase{"ZeroByteInside", deckTsv({"L\ta\\x00b\tb\tc\td\te"}),
                  "2: short field 1 holds a zero byte, which would end the text there on the device"},
        ErrorCase{"ZeroByteAtTheEnd", deckTsv({"L\ta\tb\tc\td\te\\x00"}),
                  "2: short field 5 holds a zero byte, which would end the text there on the device"},
        ErrorCase{"LiteralZeroByte", deckTsv({"L" + std::string(1, '\0') + "M\ta\tb\tc\td\te"}),
                  "2: long field holds a zero byte, which would end the text there on the device"},
        ErrorCase{"ZeroTrailByte", deckTsv({"L\ta\tb\tc\\x81\\x00\td\te"}),
                  "2: short field 3 holds a zero byte, which would end the text there on the device"},
        ErrorCase{"ZeroByteInGroupName", "# c\nAB\\x00\\x00\n",
                  "2: group name holds a zero byte, which would end the text there on the device"},
        ErrorCase{"UnknownEscape", deckTsv({"L\ta\\qb\tb\tc\td\te"}), "2: short field 1: unknown escape \\q"},
        ErrorCase{"UnknownEscapeOfAKanji", deckTsv({"L\ta\\漢\tb\tc\td\te"}), "2: short field 1: unknown escape \\漢"},
        ErrorCase{"UnknownEscapeOfAControl", deckTsv({"L\ta\\\x01\tb\tc\td\te"}),
                  "2: short field 1: unknown escape \\\\x01"},
        ErrorCase{"LoneBackslash", deckTsv({"L\ta\tb\tc\td\te\\"}),
                  "2: short field 5 ends in a lone backslash (write \\\\)"},
        ErrorCase{"BadHexEscape", deckTsv({"L\ta\\x4\tb\tc\td\te"}),
                  "2: short field 1: \\x needs two hexadecimal digits"},
        ErrorCase{"EmptyMarkerInsideText", deckTsv({"L\ta\\e\tb\tc\td\te"}),
                  "2: short field 1: \\e (an empty text) must be the whole field"},
        ErrorCase{"InvalidUtf8", deckTsv({"L\ta\xFF\tb\tc\td\te"}), withFix("2: short field 1: invalid UTF-8 (byte 0xFF)", kSaveAsUtf8)},
        ErrorCase{"SurrogateInUtf8", deckTsv({"L\ta\xED\xA0\x80\tb\tc\td\te"}),
                  withFix("2: short field 1: invalid UTF-8 (byte 0xED)", kSaveAsUtf8)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildKvz, MoreThan65535EntriesInAGroupNamesTheLine) {
    std::string tsv = "G0\n";
    for (int e = 0; e < 65536; ++e) tsv += "a\tb\tc\td\te\tf\n";
    const Result<std::vector<std::uint8_t>> built = buildKvz(tsv);
    ASSERT_FALSE(built.ok());
    EXPECT_EQ(built.reason(), "65537: group 0 has more than 65535 entries");
}

TEST(BuildKvz, CountsAndOrderOfGroups) {
    const std::string tsv = "G0\nG1\na\tb\tc\td\te\tf\nG2\nG3\nG4\nG5\nG6\nG7\ng\th\ti\tj\tk\tl\nm\tn\to\tp\tq\tr\n";
    const std::vector<std::uint8_t> kvz = testing::deckFromTsv(tsv);
    ASSERT_EQ(kvz.size(), 11u * 256);
    EXPECT_EQ(kvz[256 + 18], 1);
    EXPECT_EQ(kvz[7 * 256 + 18], 2);
    EXPECT_EQ(kvz[18], 0);
    EXPECT_EQ(kvz[8 * 256], 'a' ^ 0x80);
    EXPECT_EQ(kvz[9 * 256], 'g' ^ 0x80);
    EXPECT_EQ(kvz[10 * 256], 'm' ^ 0x80);
}

TEST(BuildKvz, ByteOrderMarkAndCrLfAreAccepted) {
    std::string tsv = "\xEF\xBB\xBF";
    for (const std::string& line : contentLines(deckTsv({"L\ta\tb\tc\td\te"}))) tsv += line + "\r\n";
    EXPECT_EQ(testing::deckFromTsv(tsv), testing::deckFromTsv(deckTsv({"L\ta\tb\tc\td\te"})));
}

TEST(BuildKvz, FieldsUpToTheirWidthFit) {
    const std::vector<std::uint8_t> kvz =
        testing::deckFromTsv(deckTsv({repeat("x", 116) + "\t" + repeat("字", 14) + "\tb\tc\td\te"}));
    EXPECT_EQ(firstEntryField(kvz, 0), repeat("x", 116));
    EXPECT_EQ(firstEntryField(kvz, 1), sjis(repeat("字", 14)));
}

struct StoredCase {
    const char* name;
    std::string field;   // as written in the TSV
    std::string stored;  // Shift_JIS bytes, before the top bits are inverted
};

class BuildKvzStores : public ::testing::TestWithParam<StoredCase> {};

TEST_P(BuildKvzStores, TheShiftJisBytes) {
    const std::vector<std::uint8_t> kvz = testing::deckFromTsv(deckTsv({"L\t" + GetParam().field + "\tb\tc\td\te"}));
    EXPECT_EQ(firstEntryField(kvz, 1), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, BuildKvzStores,
    ::testing::Values(StoredCase{"Ascii", "Ab1 ~", "Ab1 ~"},
                      StoredCase{"Kana", "かな", "\x82\xA9\x82\xC8"},
                      StoredCase{"HalfWidthKatakana", "ｶﾞ", "\xB6\xDE"},
                      StoredCase{"WaveDash", "〜", "\x81\x60"},
                      StoredCase{"FullWidthTilde", "～", "\x81\x60"},
                      StoredCase{"MinusSign", "−", "\x81\x7C"},
                      StoredCase{"EmDash", "—", "\x81\x5C"},
                      StoredCase{"DoubleVerticalLine", "‖", "\x81\x61"},
                      StoredCase{"CentPoundNot", "¢£¬", "\x81\x91\x81\x92\x81\xCA"},
                      StoredCase{"YenSignIsFullWidthYen", "¥", "\x81\x8F"},
                      StoredCase{"CircledDigitNecRow13", "①", "\x87\x40"},
                      StoredCase{"IbmExtensionKanji", "髙", "\xFB\xFC"},
                      StoredCase{"EscapedBackslashTabHash", "\\\\\\t\\#", "\\\t#"},
                      StoredCase{"RawBytes", "\\x80\\xfd\\x81\\x20", "\x80\xFD\x81\x20"},
                      StoredCase{"SpaceInsideAndAtEnd", "a b ", "a b "}),
    [](const auto& info) { return std::string(info.param.name); });

// A file kvzdeck would not make: bytes with no Unicode form, duplicates in
// CP932, a lone lead byte filling a field, an empty text, and unless
// `withZeroBytes` is false, zero bytes (a zero-padded name, a zero inside a
// text), which the device reads as the end of a text.
std::vector<std::uint8_t> awkwardKvz(bool withZeroBytes = true) {
    std::vector<std::uint8_t> kvz;
    appendRecord(kvz, groupRecord("#tag", 2));
    std::vector<std::uint8_t> zeroPadded = groupRecord("AB", 0);
    if (withZeroBytes) std::fill(zeroPadded.begin() + 2, zeroPadded.begin() + 16, 0);
    appendRecord(kvz, zeroPadded);
    appendRecord(kvz, groupRecord("\x81\x20x", 0));  // trail byte 0x20 stays inside the name
    for (int g = 3; g < 8; ++g) appendRecord(kvz, groupRecord("\x83\x4B", g == 7 ? 1 : 0));
    appendRecord(kvz, entryRecord({"#a\\b\tc", "\x80\xFDx", "\xEE\xEF\xFA\x40", "\xFA\x54\x81\xCA",
                                   std::string(27, 'x') + "\x82", "\xB6\xDE\x81\x40 "}));
    appendRecord(kvz, entryRecord({"x", "\x85\x40", "\x87\x90\x81\xE0", withZeroBytes ? std::string_view("z\0z", 3) : "zyz", "y", std::string(28, '\x82')}));
    appendRecord(kvz, entryRecord({"L", "a", "", "c", "d", "e"}));
    return kvz;
}

TEST(DumpKvz, KeepsWhatTheTextCanHoldAndEscapesTheRest) {
    const Result<std::string> dumped = dumpKvz(awkwardKvz());
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    const std::vector<std::string> lines = contentLines(*dumped);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "\\#tag");
    EXPECT_EQ(lines[1], "\\#a\\\\b\\tc\t\\x80\\xFDx\t" + lines[1].substr(lines[1].find('\t', 16) + 1));
    EXPECT_NE(lines[1].find("\t" + std::string(27, 'x') + "\\x82\t"), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("\tｶﾞ\u3000 ")) << lines[1];
    EXPECT_EQ(lines[3], "AB\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00");
    EXPECT_EQ(lines[4], "\\x81\\x20x");
    EXPECT_EQ(lines[5], "ガ");
    EXPECT_NE(lines[2].find("\tz\\x00z\t"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[10], "L\ta\t\\e\tc\td\te");
}

TEST(DumpKvz, DuplicateCodesKeepTheirOwnBytes) {
    // ⅰ is both 0xEEEF (NEC-selected IBM extension) and 0xFA40 (IBM
    // extension): whichever the encoder does not choose must stay raw bytes.
    const Result<std::string> dumped = dumpKvz(awkwardKvz());
    ASSERT_TRUE(dumped.ok());
    const std::string field = contentLines(*dumped)[1];
    const bool rawFirst = field.find("\\xEE\\xEFⅰ") != std::string::npos;
    const bool rawSecond = field.find("ⅰ\\xFA\\x40") != std::string::npos;
    EXPECT_TRUE(rawFirst != rawSecond) << field;
}

TEST(DumpKvz, BuildingTheDumpGivesTheSameBytesWhereTheTextAllows) {
    std::vector<std::uint8_t> kvz = awkwardKvz(false);
    kvz.resize(kvz.size() - 256);  // the entry with an empty text cannot be built
    kvz[7 * 256 + 18] = 0;
    const Result<std::string> dumped = dumpKvz(kvz);
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    const Result<std::vector<std::uint8_t>> rebuilt = buildKvz(*dumped);
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.reason();
    EXPECT_EQ(*rebuilt, kvz);
}

TEST(DumpKvz, ZeroBytesAreWrittenAsEscapesAndRefusedByBuild) {
    const Result<std::string> dumped = dumpKvz(awkwardKvz());
    ASSERT_TRUE(dumped.ok());
    const Result<std::vector<std::uint8_t>> rebuilt = buildKvz(*dumped);
    ASSERT_FALSE(rebuilt.ok());
    // Two comment lines, a blank line, group 0's name, its first entry, then
    // its second entry with "z\0z" in short field 3.
    EXPECT_EQ(rebuilt.reason(), "6: short field 3 holds a zero byte, which would end the text there on the device");
}

TEST(DumpKvz, EmptyTextIsWrittenAsEmptyMarkerAndRefusedByBuild) {
    const Result<std::string> dumped = dumpKvz(awkwardKvz(false));
    ASSERT_TRUE(dumped.ok());
    const Result<std::vector<std::uint8_t>> rebuilt = buildKvz(*dumped);
    ASSERT_FALSE(rebuilt.ok());
    EXPECT_TRUE(rebuilt.reason().ends_with(": short field 2 is empty; fill it in (the device cannot show an empty text)")) << rebuilt.reason();
}

// Every code a text can hold, each alone in an entry field: every byte but
// the zero byte and the terminator 0xA0, and every lead byte with every
// trail byte but zero.
std::vector<std::string> everyStorableCode() {
    std::vector<std::string> codes;
    for (int byte = 0x01; byte <= 0xFF; ++byte) {
        if (byte != 0xA0 && !isKanji(static_cast<std::uint8_t>(byte))) codes.emplace_back(1, static_cast<char>(byte));
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isKanji(static_cast<std::uint8_t>(lead))) continue;
        for (int trail = 0x01; trail <= 0xFF; ++trail) {
            codes.push_back({static_cast<char>(lead), static_cast<char>(trail)});
        }
    }
    return codes;
}

TEST(DumpKvz, EveryCodeComesBackThroughBuild) {
    const std::vector<std::string> codes = everyStorableCode();
    ASSERT_EQ(codes.size(), 254u - 60 + 60 * 255);
    const std::size_t entries = (codes.size() + 5) / 6;
    std::vector<std::uint8_t> kvz;
    appendRecord(kvz, groupRecord("G", static_cast<std::uint16_t>(entries)));
    for (int g = 1; g < 8; ++g) appendRecord(kvz, groupRecord("G", 0));
    for (std::size_t e = 0; e < entries; ++e) {
        std::array<std::string_view, 6> fields{"x", "x", "x", "x", "x", "x"};
        for (std::size_t f = 0; f < 6 && e * 6 + f < codes.size(); ++f) fields[f] = codes[e * 6 + f];
        appendRecord(kvz, entryRecord(fields));
    }
    const Result<std::string> dumped = dumpKvz(kvz);
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    EXPECT_NE(dumped->find("\tあ\t"), std::string::npos);  // 0x82A0 is written as its character
    const Result<BuiltDeck> rebuilt = buildDeck(*dumped);
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.reason();
    EXPECT_EQ(rebuilt->kvz, kvz);
    // Each lead byte with each of the 67 bytes that are no trail byte (and
    // not zero) is dumped as two escapes, and built back with a warning.
    const auto notShiftJis = std::count_if(rebuilt->warnings.begin(), rebuilt->warnings.end(),
                                           [](const std::string& w) { return w.find("is not Shift_JIS") != std::string::npos; });
    EXPECT_EQ(static_cast<std::size_t>(notShiftJis), 60u * 67);
}

TEST(DumpKvz, IgnoresWhatLiesBehindTheAnnouncedRecords) {
    std::vector<std::uint8_t> kvz = testing::deckFromTsv(deckTsv({"L\ta\tb\tc\td\te"}));
    const Result<std::string> plain = dumpKvz(kvz);
    appendRecord(kvz, entryRecord({"extra", "a", "b", "c", "d", "e"}));
    const Result<std::string> extended = dumpKvz(kvz);
    ASSERT_TRUE(plain.ok() && extended.ok());
    EXPECT_EQ(*plain, *extended);
}

TEST(DumpKvz, RefusesATruncatedFile) {
    std::vector<std::uint8_t> kvz = testing::deckFromTsv(deckTsv({"L\ta\tb\tc\td\te", "L\ta\tb\tc\td\te"}));
    kvz.resize(kvz.size() - 256);
    const Result<std::string> dumped = dumpKvz(kvz);
    ASSERT_FALSE(dumped.ok());
    EXPECT_EQ(dumped.reason(), "truncated: 9 records, the group records announce 10");
}

}  // namespace
}  // namespace kvz
