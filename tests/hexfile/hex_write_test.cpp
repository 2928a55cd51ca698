// Writing HEX text: the digits, both forms of the lines, and the address
// range; tests/io writes the same texts to files.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "hexfile/hex.h"
#include "hexfile/hex_cases.h"
#include "hexfile/hex_internal.h"
#include "hexfile/hex_test_files.h"

namespace kvz {
namespace {

using test::countingBytes;
using test::examplePlain;
using test::exampleNumbered;

TEST(HexDigits, Int2cWritesTwoUpperCaseDigitsForEveryByte) {
    for (int value = 0; value < 256; ++value) {
        char expected[3];
        std::snprintf(expected, sizeof expected, "%02X", value);
        std::string out = "x";
        detail::int2c(out, static_cast<std::uint8_t>(value));
        EXPECT_EQ(out, std::string("x") + expected) << value;
    }
}

TEST(HexDigits, H2iAcceptsBothCasesAndRejectsEverythingElse) {
    const std::string lower = "0123456789abcdef";
    const std::string upper = "0123456789ABCDEF";
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        int expected = -16;
        if (lower.find(ch) != std::string::npos) expected = static_cast<int>(lower.find(ch));
        if (upper.find(ch) != std::string::npos) expected = static_cast<int>(upper.find(ch));
        EXPECT_EQ(detail::h2i(ch), expected) << c;
    }
}

TEST(HexDigits, Hex2iReadsTwoDigitsWithinTheLineOnly) {
    EXPECT_EQ(detail::hex2i("x7fA", 1), 0x7F);
    EXPECT_EQ(detail::hex2i("x7fA", 2), 0xFA);
    EXPECT_EQ(detail::hex2i("x7fA", 3), -1);  // second digit beyond the line
    EXPECT_EQ(detail::hex2i("x7fA", 4), -1);
    EXPECT_EQ(detail::hex2i("x7g", 1), -1);
    EXPECT_EQ(detail::hex2i("xg7", 1), -1);
    EXPECT_EQ(detail::hex2i(std::string_view("\x00" "0", 2), 0), -1);
}

TEST(HexFormat, WorkedExampleBothForms) {
    const auto image = countingBytes(20);
    auto plain = formatHexAbs(image, 0x05D0, false);
    auto numbered = formatHexAbs(image, 0x05D0, true);
    ASSERT_TRUE(plain.ok()) << plain.reason();
    ASSERT_TRUE(numbered.ok()) << numbered.reason();
    EXPECT_EQ(*plain, examplePlain);
    EXPECT_EQ(*numbered, exampleNumbered);
}

struct FormatCase {
    const char* name;
    std::vector<std::uint8_t> image;
    std::uint32_t base;
    bool numbered;
    std::string expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class HexFormatCases : public ::testing::TestWithParam<FormatCase> {};

TEST_P(HexFormatCases, GivesTheExpectedText) {
    const FormatCase& c = GetParam();
    auto text = formatHexAbs(c.image, c.base, c.numbered);
    ASSERT_TRUE(text.ok()) << text.reason();
    EXPECT_EQ(*text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, HexFormatCases,
    ::testing::Values(
        FormatCase{"EmptyPlain", {}, 0x05D0, false, ":00000001FF\r\n"},
        FormatCase{"EmptyNumbered", {}, 0x05D0, true, "1:00000001FF\r\n"},
        FormatCase{"ChecksumZero", {0xFF}, 0x0000, false, ":01000000FF00\r\n:00000001FF\r\n"},
        FormatCase{"SixteenBytes", std::vector<std::uint8_t>(16, 0), 0x05D0, false,
                   ":1005D000" + std::string(32, '0') + "1B\r\n:00000001FF\r\n"},
        FormatCase{"SeventeenBytesNumbered", std::vector<std::uint8_t>(17, 0), 0x05D0, true,
                   "1:1005D000" + std::string(32, '0') + "1B\r\n2:0105E000001A\r\n3:00000001FF\r\n"},
        // Records run on from the start address, not from multiples of 16.
        FormatCase{"UnalignedStart", std::vector<std::uint8_t>(17, 1), 0x1235, false,
                   ":10123500" + [] {
                       std::string s;
                       for (int i = 0; i < 16; ++i) s += "01";
                       return s;
                   }() + "99\r\n:0112450001A7\r\n:00000001FF\r\n"},
        FormatCase{"LastAddress", {0xAB}, 0xFFFF, false, ":01FFFF00AB56\r\n:00000001FF\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Checks a formatted text line by line with a decoder of its own.
void expectWellFormed(const std::string& text, const std::vector<std::uint8_t>& image,
                      std::uint32_t base, bool numbered) {
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "the file ends right after a line end";
    const auto lines = testing::splitLines(text, "\r\n");
    const std::size_t records = (image.size() + 15) / 16;
    ASSERT_EQ(lines.size(), records + 1);
    std::vector<std::uint8_t> decoded;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        std::string line = lines[k];
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "bare CR or LF in " << line;
        if (numbered) {
            const std::string number = std::to_string(k + 1);
            ASSERT_EQ(line.substr(0, number.size()), number);
            line = line.substr(number.size());
        }
        if (k == records) {
            EXPECT_EQ(line, ":00000001FF");
            break;
        }
        const std::size_t count = std::min<std::size_t>(16, image.size() - 16 * k);
        ASSERT_EQ(line.size(), 11 + 2 * count) << line;
        EXPECT_EQ(line.find_first_of("abcdef"), std::string::npos) << line;
        unsigned sum = 0;
        for (std::size_t i = 1; i < line.size(); i += 2) sum += std::stoul(line.substr(i, 2), nullptr, 16);
        EXPECT_EQ(sum % 256, 0u) << line;
        EXPECT_EQ(std::stoul(line.substr(1, 2), nullptr, 16), count);
        EXPECT_EQ(std::stoul(line.substr(3, 4), nullptr, 16), base + 16 * k);
        EXPECT_EQ(line.substr(7, 2), "00");
        for (std::size_t i = 0; i < count; ++i) {
            decoded.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(9 + 2 * i, 2), nullptr, 16)));
        }
    }
    EXPECT_EQ(decoded, image);
}

TEST(HexFormat, RecordsCoverTheImageInBothForms) {
    for (std::size_t size : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 1000u}) {
        const auto image = test::randomImage(size, static_cast<unsigned>(size));
        for (bool numbered : {false, true}) {
            SCOPED_TRACE("size " + std::to_string(size) + (numbered ? " numbered" : " plain"));
            auto text = formatHexAbs(image, 0x05D0, numbered);
            ASSERT_TRUE(text.ok()) << text.reason();
            expectWellFormed(*text, image, 0x05D0, numbered);
        }
    }
}

class HexAddressRange : public ::testing::TestWithParam<test::RangeCase> {};

TEST_P(HexAddressRange, DataPastFFFFIsRefused) {
    const test::RangeCase& c = GetParam();
    const std::vector<std::uint8_t> image(c.size, 0x5A);
    for (bool numbered : {false, true}) {
        auto text = formatHexAbs(image, c.base, numbered);
        if (c.lastAddress == nullptr) {
            EXPECT_TRUE(text.ok()) << text.reason();
            continue;
        }
        ASSERT_FALSE(text.ok());
        EXPECT_NE(text.reason().find(c.lastAddress), std::string::npos) << text.reason();
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, HexAddressRange, ::testing::ValuesIn(test::kRangeCases));

TEST(HexFormat, FormatHexTakesTheBytesByAbsoluteAddress) {
    std::vector<std::uint8_t> memory(0x05D0 + 20 + 7, 0xEE);
    for (std::uint8_t i = 0; i < 20; ++i) memory[0x05D0 + i] = i;
    auto text = formatHex(memory, 0x05D0, 20, false);
    ASSERT_TRUE(text.ok()) << text.reason();
    EXPECT_EQ(*text, examplePlain);
    EXPECT_FALSE(formatHex(memory, 0x05D0, 28, false).ok());
    auto empty = formatHex(memory, 0x9000, 0, true);
    ASSERT_TRUE(empty.ok()) << empty.reason();
    EXPECT_EQ(*empty, "1:00000001FF\r\n");
}

}  // namespace
}  // namespace kvz
