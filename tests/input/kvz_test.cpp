// KVZ records and fields: isKanji, getKvzText, readKvzBytes, and the
// records written as they are read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/kvz.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::appendRecord;
using testing::entryRecord;
using testing::groupRecord;

using Entry = std::array<std::string_view, 6>;
constexpr Entry kPlainEntry{"L", "a", "b", "c", "d", "e"};

// Eight group records with the given counts (names G0 to G7), then `entries`
// in order.
std::vector<std::uint8_t> makeFile(const std::array<std::uint16_t, 8>& counts,
                                   const std::vector<Entry>& entries) {
    std::vector<std::uint8_t> file;
    for (int g = 0; g < 8; ++g) appendRecord(file, groupRecord(std::string("G").append(std::to_string(g)), counts[g]));
    for (const Entry& entry : entries) appendRecord(file, entryRecord(entry));
    return file;
}

std::vector<std::string> textsOf(const TextBlock& block) {
    std::vector<std::string> texts;
    std::size_t start = 0;
    while (start < block.size() && block[start] != 0) {
        std::size_t end = start;
        while (block.at(end) != 0) ++end;
        texts.emplace_back(block.begin() + static_cast<std::ptrdiff_t>(start),
                           block.begin() + static_cast<std::ptrdiff_t>(end));
        start = end + 1;
    }
    EXPECT_EQ(start + 1, block.size()) << "one empty text ends the block";
    return texts;
}

std::string fieldText(std::vector<std::uint8_t> source, std::size_t width, bool inverted) {
    std::vector<std::uint8_t> destination(width + 1, 0xEE);
    const std::size_t length = getKvzText(destination, source, width, inverted);
    EXPECT_EQ(destination[length], 0);
    return std::string(destination.begin(), destination.begin() + static_cast<std::ptrdiff_t>(length));
}

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> inverted(std::string_view text) {
    std::vector<std::uint8_t> bytes = bytesOf(text);
    for (auto& b : bytes) b ^= 0x80;
    return bytes;
}

TEST(IsKanji, LeadByteRangesAreInclusive) {
    const std::vector<std::pair<std::uint8_t, bool>> cases{
        {0x00, false}, {0x7F, false}, {0x80, false}, {0x81, true}, {0x9F, true}, {0xA0, false},
        {0xDF, false}, {0xE0, true},  {0xFC, true},  {0xFD, false}, {0xFF, false}};
    for (const auto& [byte, lead] : cases) EXPECT_EQ(isKanji(byte), lead) << std::hex << unsigned(byte);
}

struct FieldCase {
    const char* name;
    std::vector<std::uint8_t> source;
    std::size_t width;
    bool inverted;
    std::string expected;
};

class GetKvzTextCases : public ::testing::TestWithParam<FieldCase> {};

TEST_P(GetKvzTextCases, Extracts) {
    const FieldCase& c = GetParam();
    EXPECT_EQ(fieldText(c.source, c.width, c.inverted), c.expected);
}

std::vector<std::uint8_t> padded(std::vector<std::uint8_t> bytes, std::size_t width, std::uint8_t pad) {
    bytes.resize(width, pad);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, GetKvzTextCases,
    ::testing::Values(
        FieldCase{"NameEndsAtSpace", padded(bytesOf("AB CD"), 16, 0x20), 16, false, "AB"},
        FieldCase{"NameWithoutSpaceIsWhole", bytesOf("ABCDEFGHIJKLMNOP"), 16, false, "ABCDEFGHIJKLMNOP"},
        FieldCase{"NameZeroPaddedKeepsZeros", padded(bytesOf("AB"), 16, 0x00), 16, false,
                  std::string("AB\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)},
        FieldCase{"LongFieldQ1", padded({0xD1, 0xB1}, 116, 0x20), 116, true, "Q1"},
        FieldCase{"StoredA0IsASpace", padded({0xC1, 0xA0, 0xC2}, 28, 0x20), 28, true, "A B"},
        FieldCase{"TrailStoredAsSpaceStaysWhole", padded({0x83 ^ 0x80, 0xA0 ^ 0x80, 0xC1}, 28, 0x20), 28, true,
                  "\x83\xA0" "A"},
        FieldCase{"NameTrailIsSpaceStaysWhole", padded({0x81, 0x20, 'A'}, 16, 0x20), 16, false, "\x81\x20" "A"},
        FieldCase{"FullWidthNoTerminator", inverted(std::string(28, 'x')), 28, true, std::string(28, 'x')},
        FieldCase{"LoneLeadAtFieldEndDropped", inverted(std::string(27, 'x') + "\x82"), 28, true,
                  std::string(27, 'x')},
        FieldCase{"LoneLeadAtNameEndDropped", bytesOf("ABCDEFGHIJKLMNO\x82"), 16, false, "ABCDEFGHIJKLMNO"},
        FieldCase{"FirstByteTerminatorIsEmpty", padded({}, 28, 0x20), 28, true, ""},
        FieldCase{"OnlyWidthBytesAreRead", bytesOf("ABCDEFGH"), 4, false, "ABCD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DescribeTextPlace, NamesGroupEntryAndField) {
    EXPECT_EQ(describeTextPlace({2, -1, 0}), "group 2 name");
    EXPECT_EQ(describeTextPlace({0, 0, 0}), "group 0 entry 0 long field");
    EXPECT_EQ(describeTextPlace({2, 5, 3}), "group 2 entry 5 short field 3");
    EXPECT_EQ(describeTextPlace({7, 65534, 5}), "group 7 entry 65534 short field 5");
}

TEST(ReadKvzBytes, CountIsLittleEndianAtBytes18And19) {
    std::vector<std::uint8_t> file = makeFile({}, {});
    file[18] = 0x34;
    file[19] = 0x12;
    EXPECT_EQ(groupEntryCount(std::span(file).first(256)), 0x1234u);
    const Result<KvzFile> read = readKvzBytes(file);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.reason(), "does not look like a KVZ deck: 8 records, the group records announce 4668");
}

TEST(ReadKvzBytes, EntriesFollowTheirGroupsInOrder) {
    const std::vector<std::uint8_t> file =
        makeFile({2, 0, 0, 0, 0, 0, 0, 1}, {{"first", "1", "2", "3", "4", "5"},
                                            {"second", "a", "b", "c", "d", "e"},
                                            {"Q1", "A B", "x", "y", "z", "w"}});
    const Result<KvzFile> read = readKvzBytes(file);
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_EQ(read->groupCounts, (GroupCounts{2, 0, 0, 0, 0, 0, 0, 1}));
    const std::vector<std::string> texts = textsOf(read->textBlock);
    ASSERT_EQ(texts.size(), 26u);
    EXPECT_EQ(texts[0], "\x82\x66\x82\x4F");  // G0
    EXPECT_EQ(texts[7], "\x82\x66\x82\x56");  // G7
    EXPECT_EQ(texts[8], testing::sjis("ｆｉｒｓｔ"));
    EXPECT_EQ(texts[14], testing::sjis("ｓｅｃｏｎｄ"));
    EXPECT_EQ(texts[20], "\x82\x70\x82\x50");  // Q1 -> Ｑ１
    EXPECT_EQ(texts[21], "\x82\x60 \x82\x61");  // the space stays one byte
    EXPECT_EQ(texts[25], "\x82\x97");          // w
}

TEST(ReadKvzBytes, BytesBehindTheLastAnnouncedRecordDoNotMatter) {
    std::vector<std::uint8_t> file = makeFile({1, 0, 0, 0, 0, 0, 0, 0}, {kPlainEntry});
    const Result<KvzFile> plain = readKvzBytes(file);
    appendRecord(file, entryRecord({"", "", "", "", "", ""}));
    file.push_back(0x81);
    const Result<KvzFile> extended = readKvzBytes(file);
    ASSERT_TRUE(plain.ok() && extended.ok());
    EXPECT_EQ(plain->textBlock, extended->textBlock);
}

TEST(ReadKvzBytes, TextBlockGrowsPastTheDevicesBlockSize) {
    // 300 entries of 116 + 5 x 28 ASCII letters: 2 bytes each once widened.
    const std::string longText(116, 'x');
    const std::string shortText(28, 'y');
    const Entry entry{longText, shortText, shortText, shortText, shortText, shortText};
    const Result<KvzFile> read = readKvzBytes(makeFile({300, 0, 0, 0, 0, 0, 0, 0}, std::vector<Entry>(300, entry)));
    ASSERT_TRUE(read.ok()) << read.reason();
    const std::size_t names = 8 * (4 + 1);
    const std::size_t perEntry = 2 * 256 + 6;
    EXPECT_EQ(read->textBlock.size(), names + 300 * perEntry + 1);
    EXPECT_GT(read->textBlock.size(), 65536u);
}

struct TruncationCase {
    const char* name;
    std::string_view field;  // short field 2 of group 0 entry 0, or group 3's name
    bool groupName;
    std::string text;        // as normalised
    std::size_t kept;        // 0 with dropped 0: no cut listed
    std::size_t dropped;
};

class ZeroByteCuts : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(ZeroByteCuts, TextEndsThereAndTheCutIsListed) {
    const TruncationCase& c = GetParam();
    Entry entry = kPlainEntry;
    if (!c.groupName) entry[2] = c.field;
    std::vector<std::uint8_t> file = makeFile({1, 0, 0, 0, 0, 0, 0, 0}, {entry});
    if (c.groupName) std::copy(c.field.begin(), c.field.end(), file.begin() + 3 * 256);
    const Result<KvzFile> read = readKvzBytes(file);
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_EQ(textsOf(read->textBlock).at(c.groupName ? 3 : 8 + 2), c.text);
    if (c.dropped == 0) {
        EXPECT_TRUE(read->truncatedTexts.empty());
        return;
    }
    ASSERT_EQ(read->truncatedTexts.size(), 1u);
    const TruncatedText& cut = read->truncatedTexts[0];
    EXPECT_EQ(describeTextPlace(cut.place), c.groupName ? "group 3 name" : "group 0 entry 0 short field 2");
    EXPECT_EQ(cut.kept, c.kept);
    EXPECT_EQ(cut.dropped, c.dropped);
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Fields, ZeroByteCuts,
    ::testing::Values(
        TruncationCase{"InTheMiddle", "abc\0def"sv, false, "\x82\x81\x82\x82\x82\x83", 3, 3},
        TruncationCase{"TwoZerosCountNotAsDropped", "ab\0\0de"sv, false, "\x82\x81\x82\x82", 2, 2},
        TruncationCase{"ZerosBetweenPiecesAreNotCounted", "a\0b\0c"sv, false, "\x82\x81", 1, 2},
        TruncationCase{"LeadByteWithAZeroTrailIsDroppedToo", "ab\x82\0cd"sv, false, "\x82\x81\x82\x82", 2, 3},
        TruncationCase{"AfterATwoByteCharacter", "\x93\xFA\0x"sv, false, "\x93\xFA", 2, 1},
        TruncationCase{"UpToTheFieldsEnd", "ab\0xxxxxxxxxxxxxxxxxxxxxxyyy"sv, false, "\x82\x81\x82\x82", 2, 25},
        TruncationCase{"BehindTheTerminatorIsNoLoss", "ab \0cd"sv, true, "\x82\x81\x82\x82", 0, 0},
        TruncationCase{"ZeroPaddingIsNoLoss", "ab\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"sv,
                       false, "\x82\x81\x82\x82", 0, 0},
        TruncationCase{"GroupNameZeroPaddedIsNoLoss", "AB\0\0\0\0\0\0\0\0\0\0\0\0\0\0"sv, true,
                       "\x82\x60\x82\x61", 0, 0},
        TruncationCase{"GroupNameCut", "AB\0CD           "sv, true, "\x82\x60\x82\x61", 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DescribeTruncatedText, PlaceAndFigures) {
    EXPECT_EQ(describeTruncatedText({{1, 4, 2}, 3, 4}),
              "group 1 entry 4 short field 2 is cut by a zero byte: 3 bytes kept, 4 dropped");
    EXPECT_EQ(describeTruncatedText({{0, -1, 0}, 1, 1}), "group 0 name is cut by a zero byte: 1 byte kept, 1 dropped");
}

struct RefusalCase {
    const char* name;
    std::vector<std::uint8_t> file;
    std::string reason;
    FailureKind kind = FailureKind::invalid;
};

class ReadKvzBytesRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ReadKvzBytesRefusals, NamesTheCause) {
    const Result<KvzFile> read = readKvzBytes(GetParam().file);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.reason(), GetParam().reason);
    EXPECT_EQ(read.failureKind(), GetParam().kind);
}

std::vector<std::uint8_t> firstBytes(std::vector<std::uint8_t> file, std::size_t count) {
    file.resize(count);
    return file;
}

std::vector<std::uint8_t> withGroupName(std::vector<std::uint8_t> file, int group, std::string_view name) {
    const std::vector<std::uint8_t> record = groupRecord(name, file[group * 256 + 18]);
    std::copy(record.begin(), record.begin() + 16, file.begin() + group * 256);
    return file;
}

std::vector<Entry> entriesWithEmptyAt(std::size_t count, std::size_t which, std::size_t field) {
    std::vector<Entry> entries(count, kPlainEntry);
    entries[which][field] = "";
    return entries;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadKvzBytesRefusals,
    ::testing::Values(
        RefusalCase{"Empty", {}, "truncated: 0 records, a KVZ file starts with 8 group records"},
        RefusalCase{"PartOfTheGroupRecords", firstBytes(makeFile({}, {}), 3 * 256 + 17),
                    "does not look like a KVZ deck: 3 records and 17 bytes, a KVZ file starts with 8 group records",
                    FailureKind::notADeck},
        RefusalCase{"WholeGroupRecordsMissing", firstBytes(makeFile({}, {}), 3 * 256),
                    "truncated: 3 records, a KVZ file starts with 8 group records"},
        RefusalCase{"MissingEntries", makeFile({2, 0, 0, 5, 0, 0, 0, 1}, std::vector<Entry>(1, kPlainEntry)),
                    "truncated: 9 records, the group records announce 16"},
        RefusalCase{"LastRecordShort",
                    firstBytes(makeFile({1, 0, 0, 0, 0, 0, 0, 0}, {kPlainEntry}), 9 * 256 - 1),
                    "does not look like a KVZ deck: 8 records and 255 bytes, the group records announce 9",
                    FailureKind::notADeck},
        RefusalCase{"FourTimesThePresentRecordsAnnounced",
                    makeFile({28, 0, 0, 0, 0, 0, 0, 0}, std::vector<Entry>(1, kPlainEntry)),
                    "truncated: 9 records, the group records announce 36"},
        RefusalCase{"MoreThanFourTimesAnnounced",
                    makeFile({29, 0, 0, 0, 0, 0, 0, 0}, std::vector<Entry>(1, kPlainEntry)),
                    "does not look like a KVZ deck: 9 records, the group records announce 37", FailureKind::notADeck},
        RefusalCase{"EmptyGroupName", withGroupName(makeFile({}, {}), 3, ""), "empty text in group 3 name"},
        RefusalCase{"ZeroPaddedFromTheStart", withGroupName(makeFile({}, {}), 0, std::string_view("\0AB", 3)),
                    "empty text in group 0 name"},
        RefusalCase{"NameOnlyALeadBeforeAZeroByte",
                    withGroupName(makeFile({}, {}), 7, std::string_view("\x82\0", 2)),
                    "empty text in group 7 name"},
        RefusalCase{"EmptyLongField", makeFile({1, 0, 0, 0, 0, 0, 0, 0}, entriesWithEmptyAt(1, 0, 0)),
                    "empty text in group 0 entry 0 long field"},
        RefusalCase{"EmptyShortFieldCountsWithinTheGroup",
                    makeFile({1, 0, 6, 0, 0, 0, 0, 0}, [] {
                        std::vector<Entry> entries = entriesWithEmptyAt(7, 6, 3);
                        return entries;
                    }()),
                    "empty text in group 2 entry 5 short field 3"},
        RefusalCase{"FieldStartsWithZeroByte",
                    makeFile({0, 0, 0, 0, 0, 0, 0, 1}, {{"L", "a", "b", "c", "d", std::string_view("\0x", 2)}}),
                    "empty text in group 7 entry 0 short field 5"}),
    [](const auto& info) { return std::string(info.param.name); });

// The whole-file example: seven groups named A, one named B, one entry in
// group 0, written record by record.
TEST(WriteRecords, TheExampleDeckByteForByte) {
    std::vector<std::uint8_t> kvz;
    for (int g = 0; g < 7; ++g) appendGroupRecord(kvz, "A", g == 0 ? 1 : 0);
    appendGroupRecord(kvz, "B", 0);
    const std::array<std::string, kFieldsPerEntry> entry{"ABCDABCDABCD", "C", "C", "E", "EE", "EEE"};
    appendEntryRecord(kvz, entry);
    EXPECT_EQ(kvz, testing::bundledDeckBytes("example.kvz"));
}

struct StoredFieldCase {
    const char* name;
    std::string text;
    std::size_t width;
    bool inverted;
};

class StoredFields : public ::testing::TestWithParam<StoredFieldCase> {};

// What is written in a field reads back as the same text, both as the
// device's reader takes it and as stored bytes, and agrees with a record
// laid out by hand.
TEST_P(StoredFields, ReadBackAsWritten) {
    const StoredFieldCase& c = GetParam();
    std::vector<std::uint8_t> field;
    appendStoredField(field, c.text, c.width, c.inverted);
    ASSERT_EQ(field.size(), c.width);
    EXPECT_EQ(storedFieldText(field, c.inverted), c.text);
    EXPECT_EQ(fieldText(field, c.width, c.inverted), c.text);
    if (c.inverted && c.width == kShortFieldWidth) {
        const std::vector<std::uint8_t> record = entryRecord({"L", c.text, "b", "c", "d", "e"});
        EXPECT_TRUE(std::equal(field.begin(), field.end(), record.begin() + kEntryFieldLayout[1].offset));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, StoredFields,
    ::testing::Values(StoredFieldCase{"GroupName", "Lesson1", kGroupNameWidth, false},
                      StoredFieldCase{"FullGroupName", "\x82\xa0\x82\xa2\x82\xa4\x82\xa6\x82\xa8\x82\xa9\x82\xab\x82\xad",
                                      kGroupNameWidth, false},
                      StoredFieldCase{"ShortKana", "\x82\xa0\x82\xa2", kShortFieldWidth, true},
                      StoredFieldCase{"TrailByteIsAStoredSpace", "\x83\x20", kShortFieldWidth, true},
                      StoredFieldCase{"FullLongField", std::string(kLongFieldWidth, 'x'), kLongFieldWidth, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvz
