// The Intel HEX cases that both the text functions (tests/hexfile) and
// io's functions on files (tests/io) are run on: records written out with
// their checksums, reads and what each must give, and the address range of
// a write.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace kvz::test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t untouched = 0xDEADBEEF;
inline constexpr std::uint8_t fill = 0xEE;
inline const std::string endRecord = ":00000001FF\r\n";

// One record line without its line end, its checksum computed here.
inline std::string recordText(std::uint16_t address, const Bytes& data, int type = 0) {
    auto hex = [](unsigned v) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", v & 0xFF);
        return std::string(digits);
    };
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    std::string line(1, ':');
    line += hex(static_cast<unsigned>(data.size()));
    line += hex(address >> 8);
    line += hex(address & 0xFF);
    line += hex(static_cast<unsigned>(type));
    for (auto b : data) {
        line += hex(b);
        sum += b;
    }
    return line + hex(0x100 - (sum & 0xFF));
}

inline std::string record(std::uint16_t address, const Bytes& data, int type = 0) {
    return recordText(address, data, type) + "\r\n";
}

inline Bytes run(std::uint8_t first, std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

inline std::string lowerCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A record at 0x05D0 and the end record in the numbered form, which no
// reader takes. (Built with append: GCC 12 warns wrongly about "1:" + ...)
inline std::string numberedLines() { return std::string("1:").append(record(0x05D0, {1})).append("2:").append(endRecord); }

inline std::string withChecksum(std::string recordLine, const char* checksum) {
    return recordLine.replace(recordLine.size() - 2, 2, checksum);
}

// One read of `text` and what it must give: the result, the lowest address
// (`untouched` when the read must fail) and the destination's bytes.
template <typename Stored>
struct ReadCaseOf {
    const char* name;
    std::string text;
    std::size_t destinationSize;
    std::uint32_t limit;
    bool verify;
    std::uint32_t result;
    std::uint32_t lowest;
    Stored stored;
};

template <typename Stored>
void PrintTo(const ReadCaseOf<Stored>& c, std::ostream* os) {
    *os << c.name;
}

using ReadCase = ReadCaseOf<std::vector<std::pair<std::size_t, std::uint8_t>>>;  // address, byte (fill: untouched)

// The lenient reading, as readHexText, readHexFromText and readHex read.
inline std::vector<ReadCase> lenientReadCases() {
    const std::string abcd = recordText(0xABCD, {0xDE, 0xAD, 0xBE, 0xEF});
    const std::string crossing = recordText(0x000C, run(1, 8));  // bytes at 0x0C..0x13
    const std::string longest = recordText(0x0100, run(0, 121));  // 253 characters
    return {
        ReadCase{"OnlyEndRecord", endRecord, 0x10000, 0x10000, true, 0, 0xFFFF, {}},
        ReadCase{"EmptyText", "", 0x10000, 0x10000, true, 0, 0xFFFF, {}},
        ReadCase{"OneRecord", record(0x05D0, {1, 2, 3}) + endRecord, 0x10000, 0x10000, true, 3,
                 0x05D0, {{0x05CF, fill}, {0x05D0, 1}, {0x05D2, 3}, {0x05D3, fill}}},
        ReadCase{"LowerCaseDigits", lowerCase(abcd) + "\r\n" + endRecord, 0x10000, 0x10000, true,
                 4, 0xABCD, {{0xABCD, 0xDE}, {0xABD0, 0xEF}}},
        ReadCase{"LfLineEnds", abcd + "\n:00000001FF\n", 0x10000, 0x10000, true, 4, 0xABCD,
                 {{0xABCE, 0xAD}}},
        ReadCase{"NoEndRecordNorLineEnd", abcd, 0x10000, 0x10000, true, 4, 0xABCD, {{0xABCF, 0xBE}}},
        ReadCase{"OutOfOrderSpanCoversTheGap", record(0x0200, {7}) + record(0x0100, {8, 9}) + endRecord,
                 0x10000, 0x10000, true, 0x101, 0x0100, {{0x0100, 8}, {0x0101, 9}, {0x0200, 7}}},
        ReadCase{"CountZeroEndsTheData", record(0x10, {1}) + ":00ZZ\r\n" + record(0x20, {2}), 0x100,
                 0x100, true, 1, 0x10, {{0x20, fill}}},
        ReadCase{"TypeOneEndsTheDataWhateverItsCount",
                 record(0x10, {1}) + ":02000001ZZZZ\r\n" + record(0x20, {2}), 0x100, 0x100, true, 1,
                 0x10, {{0x20, fill}}},
        ReadCase{"ExtendedSegmentRecordFails", record(0x10, {1}) + record(0, {0x10, 0}, 2) + endRecord,
                 0x100, 0x100, false, 0, untouched, {{0x10, 1}}},
        ReadCase{"StartSegmentRecordFails", record(0, {0, 0, 5, 0xD0}, 3) + endRecord, 0x100, 0x100,
                 false, 0, untouched, {}},
        ReadCase{"ExtendedLinearRecordFails", record(0, {0, 0}, 4) + endRecord, 0x100, 0x100, false,
                 0, untouched, {}},
        ReadCase{"StartLinearRecordFails", record(0, {0, 0, 0, 0}, 5) + endRecord, 0x100, 0x100,
                 false, 0, untouched, {}},
        ReadCase{"NonHexTypeFails", ":010010G0FF\r\n", 0x100, 0x100, false, 0, untouched, {}},
        ReadCase{"NumberedFormFails", numberedLines(), 0x10000,
                 0x10000, false, 0, untouched, {{0x05D0, fill}}},
        ReadCase{"BlankLineFails", record(0x10, {1}) + "\r\n" + endRecord, 0x100, 0x100, false, 0,
                 untouched, {}},
        ReadCase{"LeadingBlankFails", " " + record(0x10, {1}), 0x100, 0x100, false, 0, untouched, {}},
        ReadCase{"NonHexDataFails", ":020010000G01EE\r\n", 0x100, 0x100, false, 0, untouched, {}},
        ReadCase{"RecordCutShortFails", ":03001000AABB\r\n", 0x100, 0x100, false, 0, untouched, {}},
        ReadCase{"RecordCutShortAtTextEndFails", ":03001000AABB", 0x100, 0x100, false, 0, untouched, {}},
        ReadCase{"MissingChecksumFailsWhenVerified", ":01001000AA\r\n", 0x100, 0x100, true, 0,
                 untouched, {}},
        ReadCase{"TrailingCharactersIgnored", recordText(0x10, {5}) + "  ;x\r\n" + endRecord, 0x100,
                 0x100, true, 1, 0x10, {{0x10, 5}}},
        ReadCase{"WrongChecksumIgnoredWithoutVerify", withChecksum(recordText(0x10, {5}), "ZZ") + "\n",
                 0x100, 0x100, false, 1, 0x10, {{0x10, 5}}},
        ReadCase{"WrongChecksumFailsWithVerify", withChecksum(recordText(0x10, {5}), "00") + "\n",
                 0x100, 0x100, true, 0, untouched, {}},
        ReadCase{"ChecksumZero", ":01000000FF00\r\n", 0x100, 0x100, true, 1, 0, {{0, 0xFF}}},
        // The window: a record beginning at or past its end ends the data.
        ReadCase{"RecordPastTheWindowEndsTheData",
                 record(0, {1, 2}) + record(0x10, {3}) + record(4, {9}) + "garbage\r\n", 0x100, 0x10,
                 false, 2, 0, {{0, 1}, {1, 2}, {4, fill}, {0x10, fill}}},
        ReadCase{"RecordPastTheWindowIsVerifiedWhole",
                 record(0, {1, 2}) + record(0x10, {3}) + record(4, {9}), 0x100, 0x10, true, 2, 0,
                 {{4, fill}, {0x10, fill}}},
        ReadCase{"RecordPastTheWindowWithBadChecksumFailsWithVerify",
                 record(0, {1, 2}) + withChecksum(recordText(0x10, {3}), "00") + "\r\n", 0x100, 0x10,
                 true, 0, untouched, {}},
        ReadCase{"CrossingRecordStoresTheBytesInside", crossing + "\r\n", 0x100, 0x10, false, 4, 0x0C,
                 {{0x0C, 1}, {0x0F, 4}, {0x10, fill}, {0x13, fill}}},
        ReadCase{"CrossingRecordDigitsPastTheWindowUnreadWithoutVerify",
                 crossing.substr(0, 9 + 8) + "ZZ\r\n", 0x100, 0x10, false, 4, 0x0C, {{0x0F, 4}}},
        ReadCase{"CrossingRecordVerifiedWhole", crossing + "\r\n", 0x100, 0x10, true, 4, 0x0C,
                 {{0x0F, 4}, {0x10, fill}}},
        ReadCase{"CrossingRecordWithBadDigitPastTheWindowFailsWithVerify",
                 crossing.substr(0, 9 + 8) + "06" + crossing.substr(9 + 10) + "\r\n", 0x100, 0x10,
                 true, 0, untouched, {}},
        ReadCase{"CrossingRecordWithNonHexPastTheWindowFailsWithVerify",
                 crossing.substr(0, 9 + 8) + "ZZ" + crossing.substr(9 + 10) + "\r\n", 0x100, 0x10,
                 true, 0, untouched, {}},
        // The destination bounds the window too, whatever the limit.
        ReadCase{"SmallDestinationBoundsTheWindow", crossing + "\r\n", 0x0E, 0xFFFF, true, 2, 0x0C,
                 {{0x0C, 1}, {0x0D, 2}}},
        // Scanning only: every record counts whole, inside the window or not.
        ReadCase{"ScanCountsWholeRecords", record(0, {1}) + crossing + "\r\n" + record(0x20, {1, 2}),
                 0, 0x10, false, 0x22, 0, {}},
        ReadCase{"DataAtFFFF", record(0xFFFF, {0x42}) + endRecord, 0x10000, 0x10000, true, 1, 0xFFFF,
                 {{0xFFFF, 0x42}}},
        // One read takes 255 characters at most, its line end included.
        ReadCase{"LongestRecordWithCrLf", longest + "\r\n" + endRecord, 0x200, 0x200, true, 121,
                 0x0100, {{0x0100, 0}, {0x0178, 120}}},
        ReadCase{"RecordOf255CharactersFails", recordText(0x0100, run(0, 122)) + "\n", 0x200, 0x200,
                 false, 0, untouched, {}},
        ReadCase{"BlanksPast255CharactersFail", longest + "  \r\n", 0x200, 0x200, false, 0,
                 untouched, {}},
        ReadCase{"ShortRecordWithLongTailFails", record(0x10, {1}).substr(0, 13) + std::string(250, ' ') + "\n",
                 0x100, 0x100, false, 0, untouched, {}}};
}

using AbsCase = ReadCaseOf<Bytes>;  // destination[0..] afterwards

// The reading relative to the lowest address, as readHexAbsFromText and
// readHexAbs read.
inline std::vector<AbsCase> relativeReadCases() {
    return {
        AbsCase{"OnlyEndRecordWritesNoPointer", endRecord, 16, 16, true, 0, untouched, {fill}},
        AbsCase{"EmptyFile", "", 16, 16, true, 0, untouched, {fill}},
        AbsCase{"TwoRecords", record(0x05D0, run(0, 16)) + record(0x05E0, {16, 17}) + endRecord, 32, 32,
                true, 18, 0x05D0, [] {
                    Bytes b = run(0, 18);
                    b.push_back(fill);
                    return b;
                }()},
        AbsCase{"OutOfOrder", record(0x0302, {2}) + record(0x0300, {1}) + endRecord, 8, 8, true, 3,
                0x0300, {1, fill, 2, fill}},
        AbsCase{"LimitCutsTheWindow", record(0x05D0, run(0, 16)) + endRecord, 32, 4, false, 4, 0x05D0,
                {0, 1, 2, 3, fill}},
        AbsCase{"LimitCutsTheWindowVerified", record(0x05D0, run(0, 16)) + endRecord, 32, 4, true, 4,
                0x05D0, {0, 1, 2, 3, fill}},
        AbsCase{"DataUpToFFFFVerified", record(0xFFF0, run(0xA0, 16)) + endRecord, 16, 16, true, 16,
                0xFFF0, run(0xA0, 16)},
        AbsCase{"NumberedFormFails", numberedLines(), 16, 16, false, 0,
                untouched, {fill}},
        AbsCase{"BadChecksumFails", record(0x10, {1}) + withChecksum(recordText(0x11, {2}), "00") + "\n",
                16, 16, true, 0, untouched, {fill}}};
}

// The lines of the 20 bytes 00 01 .. 13 at 0x05D0, in both forms.
inline const std::string examplePlain =
    ":1005D000000102030405060708090A0B0C0D0E0FA3\r\n"
    ":0405E00010111213D1\r\n"
    ":00000001FF\r\n";
inline const std::string exampleNumbered =
    "1:1005D000000102030405060708090A0B0C0D0E0FA3\r\n"
    "2:0405E00010111213D1\r\n"
    "3:00000001FF\r\n";

inline Bytes countingBytes(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

// An image of `size` bytes at `base`, and the last address named in the
// refusal of one that reaches past 0xFFFF (nullptr: accepted).
struct RangeCase {
    std::uint32_t base;
    std::size_t size;
    const char* lastAddress;
};

inline const RangeCase kRangeCases[] = {
    {0x05D0, 64048, nullptr}, {0x05D0, 64049, "0x10000"}, {0xFFFF, 1, nullptr},     {0xFFFF, 2, "0x10000"},
    {0x0000, 65536, nullptr}, {0x0000, 65537, "0x10000"}, {0xFFF0, 0x20, "0x1000F"},
};

}  // namespace kvz::test
