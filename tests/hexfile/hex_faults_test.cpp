// The first fault of a HEX text, named by its line: what each reading
// refuses, and the records that make no sense as one device image.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "hexfile/hex.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Record lines with their checksums worked out by hand.
const std::string at05D0 = ":1005D000000102030405060708090A0B0C0D0E0FA3\r\n";  // bytes 00..0F
const std::string at05E0 = ":1005E000101112131415161718191A1B1C1D1E1F93\r\n";  // bytes 10..1F
const std::string at05F0 = ":0405F000AABBCCDDF9\r\n";
const std::string endRecord = ":00000001FF\r\n";
const std::string good = at05D0 + at05E0 + at05F0 + endRecord;

// Two good records, then `third` on line 3, then the end record.
std::string onLine3(const std::string& third) { return at05D0 + at05E0 + third + endRecord; }

enum class Readings { both, lenientOnly, imageOnly };

struct FaultCase {
    const char* name;
    Readings readings;
    std::string text;
    bool verify;
    std::string reason;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class HexFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(HexFault, NamesTheLineAndWhatIsWrong) {
    const FaultCase& c = GetParam();
    for (HexReading reading : {HexReading::lenient, HexReading::image}) {
        if (c.readings == Readings::lenientOnly && reading == HexReading::image) continue;
        if (c.readings == Readings::imageOnly && reading == HexReading::lenient) continue;
        SCOPED_TRACE(reading == HexReading::image ? "image reading" : "lenient reading");
        Bytes memory(0x10000, 0xEE);
        auto data = readHexText(c.text, memory, {reading, c.verify, 0, 0x10000});
        ASSERT_FALSE(data.ok());
        EXPECT_EQ(data.reason(), c.reason);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, HexFault,
    ::testing::Values(
        FaultCase{"MissingColon", Readings::both, onLine3("0405F000AABBCCDDF9\r\n"), true,
                  "line 3: does not begin with ':'"},
        FaultCase{"NumberedForm", Readings::both, "1:" + at05D0, false, "line 1: does not begin with ':'"},
        FaultCase{"BlankLineAmongRecords", Readings::both, at05D0 + "\r\n" + endRecord, false,
                  "line 2: does not begin with ':'"},
        FaultCase{"LetterInData", Readings::both, onLine3(":0405F000AABGCCDDF9\r\n"), true,
                  "line 3: 'G' in column 13 is not a hex digit"},
        FaultCase{"TabInAddress", Readings::both, onLine3(":0405\tF000AABBCCDDF9\r\n"), false,
                  "line 3: byte 0x09 in column 6 is not a hex digit"},
        FaultCase{"BlankAfterChecksum", Readings::imageOnly, onLine3(":0405F000AABBCCDDF9 \r\n"), true,
                  "line 3: byte 0x20 in column 20 is not a hex digit"},
        FaultCase{"OddLength", Readings::imageOnly, onLine3(":0405F000AABBCCDF9\r\n"), true,
                  "line 3: odd number of hex digits (17)"},
        FaultCase{"OddLengthAtTheLineEnd", Readings::lenientOnly, onLine3(":0405F000AABBCCD\r\n"), false,
                  "line 3: odd number of hex digits (15)"},
        // The count byte says 5; four data bytes and the checksum follow.
        FaultCase{"CountTooHigh", Readings::both, onLine3(":0505F000AABBCCDDF8\r\n"), true,
                  "line 3: byte count 05 (5 data bytes), the record has 4"},
        FaultCase{"CountTooLow", Readings::imageOnly, onLine3(":0305F000AABBCCDDFA\r\n"), true,
                  "line 3: byte count 03 (3 data bytes), the record has 4"},
        FaultCase{"RecordCutShort", Readings::both, onLine3(":0405F000AABB\r\n"), false,
                  "line 3: byte count 04 (4 data bytes), the record has 1"},
        FaultCase{"RecordCutShortAtTheTextEnd", Readings::both, at05D0 + ":0405F000AABB", false,
                  "line 2: byte count 04 (4 data bytes), the record has 1"},
        FaultCase{"TooShortForARecord", Readings::both, onLine3(":0405F0\r\n"), false,
                  "line 3: too short for a record: 3 bytes, a record has at least 5"},
        FaultCase{"Checksum", Readings::both, onLine3(":0405F000AABBCCDD3F\r\n"), true,
                  "line 3: checksum 3F, expected F9"},
        FaultCase{"ChecksumInLowerCase", Readings::both, onLine3(":0405f000aabbccdd3f\r\n"), true,
                  "line 3: checksum 3F, expected F9"},
        FaultCase{"ExtendedLinearAddress", Readings::both, onLine3(":020000040000FA\r\n"), true,
                  "line 3: record type 04 is not supported (only 00 data and 01 end)"},
        FaultCase{"StartSegmentAddress", Readings::both, onLine3(":0400000300000000F9\r\n"), false,
                  "line 3: record type 03 is not supported (only 00 data and 01 end)"},
        // 122 data bytes make a line of 255 characters before its line end.
        FaultCase{"LineLongerThanTheLenientReadingTakes", Readings::lenientOnly,
                  at05D0 + ":7A010000" + std::string(244, '0') + "85\n", true,
                  "line 2: longer than 255 characters, its line end included"}),
    [](const auto& info) { return std::string(info.param.name); });

// Faults that only the image reading sees: records that are each well formed
// but are no single device image.
INSTANTIATE_TEST_SUITE_P(
    Image, HexFault,
    ::testing::Values(
        FaultCase{"Gap", Readings::imageOnly, at05D0 + at05F0 + endRecord, true,
                  "line 2: gap before this record: no data for 0x05E0-0x05EF"},
        FaultCase{"GapBehindRecordsOutOfOrder", Readings::imageOnly, at05F0 + at05D0 + endRecord, true,
                  "line 1: gap before this record: no data for 0x05E0-0x05EF"},
        FaultCase{"SameAddressOtherData", Readings::imageOnly,
                  ":0405D000010203041D\r\n:0205D20003051F\r\n" + endRecord, true,
                  "line 2: address 0x05D3 holds 05 here but 04 on line 1"},
        FaultCase{"EmptyDataRecordAmidTheData", Readings::imageOnly,
                  ":0405D000010203041D\r\n:0005D1002A\r\n:0105D4000224\r\n" + endRecord, true,
                  "line 2: data record without bytes, with more data after it"},
        FaultCase{"NoEndRecord", Readings::imageOnly, at05D0 + at05E0, true,
                  "line 2: no end record after this last record"},
        FaultCase{"EndRecordFirst", Readings::imageOnly, endRecord + at05D0, true,
                  "line 1: end record before any data record"},
        FaultCase{"NoRecordsAtAll", Readings::imageOnly, "", true, "no records"},
        FaultCase{"DataPastFFFF", Readings::imageOnly,
                  ":10FFF800000102030405060708090A0B0C0D0E0F81\r\n" + endRecord, true,
                  "line 1: data run past address 0xFFFF"},
        // The first fault is the one reported, though a later line has one too.
        FaultCase{"FirstOfTwoFaults", Readings::imageOnly,
                  at05D0 + ":0405F000AABBCCDD3F\r\n" + ":0405F000AABBCCDD3F\r\nxyz\r\n", true,
                  "line 2: checksum 3F, expected F9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexImageReading, ReadsAGoodImageWhole) {
    Bytes memory(0x10000, 0xEE);
    auto data = readHexText(good, memory, {});
    ASSERT_TRUE(data.ok()) << data.reason();
    EXPECT_EQ(data->lowest, 0x05D0u);
    EXPECT_EQ(data->span, 36u);
    EXPECT_TRUE(data->warnings.empty());
    for (unsigned i = 0; i < 32; ++i) EXPECT_EQ(memory[0x05D0 + i], i);
    EXPECT_EQ(memory[0x05F0], 0xAA);
    EXPECT_EQ(memory[0x05F3], 0xDD);
    EXPECT_EQ(memory[0x05CF], 0xEE);
    EXPECT_EQ(memory[0x05F4], 0xEE);
}

struct AcceptedCase {
    const char* name;
    std::string text;
    bool verify;
    std::uint32_t lowest;
    std::uint32_t span;
    std::vector<std::string> warnings;
};

void PrintTo(const AcceptedCase& c, std::ostream* os) { *os << c.name; }

class HexImageAccepted : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(HexImageAccepted, GivesTheWholeImage) {
    const AcceptedCase& c = GetParam();
    Bytes memory(0x10000, 0xEE);
    auto data = readHexText(c.text, memory, {HexReading::image, c.verify, 0, 0x10000});
    ASSERT_TRUE(data.ok()) << data.reason();
    EXPECT_EQ(data->lowest, c.lowest);
    EXPECT_EQ(data->span, c.span);
    EXPECT_EQ(data->warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Image, HexImageAccepted,
    ::testing::Values(
        AcceptedCase{"RecordsOutOfOrder", at05F0 + at05E0 + at05D0 + endRecord, true, 0x05D0, 36, {}},
        AcceptedCase{"SameDataTwice", at05D0 + at05E0 + at05D0 + at05F0 + endRecord, true, 0x05D0, 36, {}},
        AcceptedCase{"LfLineEnds", ":0405F000AABBCCDDF9\n:00000001FF\n", true, 0x05F0, 4, {}},
        AcceptedCase{"NoLineEndAfterTheEndRecord", at05F0 + ":00000001FF", true, 0x05F0, 4, {}},
        AcceptedCase{"EmptyDataRecordBeforeTheEnd", at05F0 + ":0005D1002A\r\n" + endRecord, true, 0x05F0, 4,
                     {}},
        AcceptedCase{"ChecksumsUnreadWithoutVerify", onLine3(":0405F000AABBCCDD3F\r\n"), false, 0x05D0, 36,
                     {}},
        AcceptedCase{"BlankLinesAfterTheEnd", good + "\r\n  \r\n\n", true, 0x05D0, 36, {}},
        AcceptedCase{"RecordsAfterTheEndAreAWarning", good + "\r\n" + at05D0 + "garbage\r\n", true, 0x05D0, 36,
                     {"line 6: records after the end record, not read"}},
        AcceptedCase{"DataUpToFFFF", ":10FFF000000102030405060708090A0B0C0D0E0F89\r\n" + endRecord, true,
                     0xFFF0, 16, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexImageReading, RecordsAfterTheEndAreNotRead) {
    Bytes memory(0x10000, 0xEE);
    auto data = readHexText(good + ":0105D1000227\r\n", memory, {});
    ASSERT_TRUE(data.ok()) << data.reason();
    EXPECT_EQ(data->warnings, std::vector<std::string>{"line 5: records after the end record, not read"});
    EXPECT_EQ(memory[0x05D1], 0x01);  // line 5 would give 02
}

TEST(HexImageReading, StoresTheWindowAndReportsTheWholeImage) {
    Bytes window(8, 0xEE);
    auto data = readHexText(good, window, {HexReading::image, true, 0x05DC, 0x10000});
    ASSERT_TRUE(data.ok()) << data.reason();
    EXPECT_EQ(data->lowest, 0x05D0u);
    EXPECT_EQ(data->span, 36u);
    EXPECT_EQ(window, (Bytes{0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13}));

    Bytes limited(8, 0xEE);
    ASSERT_TRUE(readHexText(good, limited, {HexReading::image, true, 0x05DC, 3}).ok());
    EXPECT_EQ(limited, (Bytes{0x0C, 0x0D, 0x0E, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(HexImageReading, StoresNothingWhenItFails) {
    Bytes memory(0x10000, 0xEE);
    ASSERT_FALSE(readHexText(at05D0 + at05F0 + endRecord, memory, {}).ok());
    EXPECT_EQ(memory, Bytes(0x10000, 0xEE));
}

// A fault on the last of many good records is named there, not at the start.
TEST(HexFaultLine, CountsEveryLineBeforeIt) {
    std::string text;
    for (unsigned i = 0; i < 300; ++i) text += at05D0;
    text += ":0405F000AABBCCDD3F\r\n";
    for (HexReading reading : {HexReading::lenient, HexReading::image}) {
        Bytes memory(0x10000, 0xEE);
        auto data = readHexText(text, memory, {reading, true, 0, 0x10000});
        ASSERT_FALSE(data.ok());
        EXPECT_EQ(data.reason(), "line 301: checksum 3F, expected F9");
    }
}

}  // namespace
}  // namespace kvz
