// The outputs of the bundled examples that the cases pinned-* pin byte for
// byte: well-formed Intel HEX from 0x05D0, the numbered file the same lines,
// a log line that names the image's range, and the image of the deck's
// conversion, which reads back as its deck and which objcopy and srec_cat
// read alike. The example's image is the whole-file example.
#include <gtest/gtest.h>

#include <regex>

#include "core/convert.h"
#include "core/pack.h"
#include "decode/decode.h"
#include "decode/example_image.h"
#include "glyph/glyph.h"
#include "io/format_files.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

namespace fs = std::filesystem;

fs::path pinned(const std::string& name, const std::string& extension) {
    return testing::sourcePath("tests/cli/cases/kvzpack/pinned/pinned-" + name + "/files/" + name + extension);
}

// The lines of a text whose every line ends in CR LF.
std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines = testing::splitLines(text, "\r\n");
    if (!text.ends_with("\r\n") && !lines.empty()) {
        ADD_FAILURE() << "text after the last CR LF: " << lines.back();
        lines.pop_back();
    }
    for (const std::string& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    return lines;
}

unsigned hexValue(const std::string& digits) { return static_cast<unsigned>(std::stoul(digits, nullptr, 16)); }

// The bytes of the plain form, read by the record rules: data records of 16
// bytes (the last one 1 to 16) at 0x05D0, 0x05E0, ..., each adding up to 0
// with its checksum, then the end record.
std::vector<std::uint8_t> readRecords(const std::vector<std::string>& lines) {
    const std::regex record(":([0-9A-F]{2})([0-9A-F]{4})00((?:[0-9A-F]{2})*)");
    std::vector<std::uint8_t> image;
    EXPECT_GE(lines.size(), 2u);
    if (lines.empty()) return image;
    EXPECT_EQ(lines.back(), ":00000001FF");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(lines[i], m, record)) {
            ADD_FAILURE() << "line " << i + 1 << ": " << lines[i];
            return image;
        }
        const unsigned count = hexValue(m[1]);
        const unsigned address = hexValue(m[2]);
        const std::string data = m[3];
        EXPECT_EQ(data.size(), 2 * count + 2) << "line " << i + 1;
        EXPECT_EQ(address, 0x05D0 + 16 * i) << "line " << i + 1;
        EXPECT_TRUE(count == 16 || (i + 2 == lines.size() && count >= 1)) << "line " << i + 1;
        unsigned sum = count + (address >> 8) + (address & 0xFF);
        for (std::size_t at = 0; at + 2 <= data.size(); at += 2) {
            const unsigned byte = hexValue(data.substr(at, 2));
            sum += byte;
            if (at + 2 < data.size()) image.push_back(static_cast<std::uint8_t>(byte));
        }
        EXPECT_EQ(sum % 256, 0u) << "checksum of line " << i + 1;
    }
    return image;
}

std::string logLine(const std::string& argument, std::size_t imageSize) {
    char range[32];
    std::snprintf(range, sizeof range, ":05D0-%04zX\r\n", 0x05D0 + imageSize - 1);
    return argument + range;
}

class PinnedOutputs : public ::testing::TestWithParam<std::string> {};

TEST_P(PinnedOutputs, AreWellFormedAndReadBackAsTheirDeck) {
    const std::string name = GetParam();
    const std::vector<std::string> plain = crlfLines(testing::readFileText(pinned(name, ".ihx")));
    const std::vector<std::string> numbered = crlfLines(testing::readFileText(pinned(name, ".txt")));
    ASSERT_EQ(numbered.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(numbered[i], std::to_string(i + 1) + plain[i]);

    const std::vector<std::uint8_t> image = readRecords(plain);
    EXPECT_EQ(testing::readFileText(pinned(name, ".log")), logLine(name + ".kvz", image.size()));

    auto deck = readKvzFile(testing::sourcePath("examples/" + name + ".kvz").string());
    ASSERT_TRUE(deck.ok()) << deck.reason();
    auto conversion = convertKvz(*deck);
    ASSERT_TRUE(conversion.ok()) << conversion.reason();
    EXPECT_EQ(image, conversion->image);
    const Status readBack = verifyImage(image, kLoadAddress, *deck, conversion->charTable);
    EXPECT_TRUE(readBack.ok()) << readBack.reason();
}

TEST_P(PinnedOutputs, ObjcopyAndSrecordReadTheSameBytes) {
    const std::string name = GetParam();
    const std::vector<std::uint8_t> image = readRecords(crlfLines(testing::readFileText(pinned(name, ".ihx"))));
    const std::string ihx = pinned(name, ".ihx").string();
    const testing::TempDir dir;
    const std::string binary = (dir / "image.bin").string();
    const std::vector<std::string> tools[] = {
        {"/usr/bin/objcopy", "-I", "ihex", "-O", "binary", ihx, binary},
        {"/usr/bin/srec_cat", ihx, "-intel", "-offset", "-0x05D0", "-o", binary, "-binary"},
    };
    for (const auto& tool : tools) {
        fs::remove(binary);
        const testing::ProcessResult run = testing::runProgram(tool);
        ASSERT_EQ(run.exitStatus, 0) << tool[0] << ": " << run.err;
        EXPECT_EQ(testing::readFileBytes(binary), image) << tool[0];
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, PinnedOutputs, ::testing::Values("example", "sample", "large"),
                         [](const auto& info) { return info.param; });

// The 7-pixel columns of a packed strip: byte k of each 7-byte group holds
// pixel row 6 - k of eight columns, column j in bit j.
std::vector<std::uint8_t> unpackColumns(std::span<const std::uint8_t> packed) {
    std::vector<std::uint8_t> columns;
    for (std::size_t group = 0; group + 7 <= packed.size(); group += 7)
        for (unsigned j = 0; j < 8; ++j) {
            std::uint8_t column = 0;
            for (unsigned k = 0; k < 7; ++k)
                if (packed[group + k] & (1u << j)) column |= static_cast<std::uint8_t>(1u << (6 - k));
            columns.push_back(column);
        }
    return columns;
}

// A narrow glyph of font4x8 in a cell: its three columns, then four empty.
std::vector<std::uint8_t> narrowCell(char character) {
    const auto glyph = font4x8.begin() + 3 * static_cast<unsigned char>(character);
    return {glyph[0], glyph[1], glyph[2], 0, 0, 0, 0};
}

TEST(PinnedExample, IsTheWholeFileExampleByteForByte) {
    const std::vector<std::uint8_t> image =
        readRecords(crlfLines(testing::readFileText(pinned("example", ".ihx"))));
    ASSERT_EQ(image.size(), 95u);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.begin() + 4),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x0C, 0x06}));
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 4, image.begin() + 60), testing::kExamplePackedStream);

    // Five cells, Ａ Ｅ Ｃ Ｂ Ｄ, each the narrow glyph of its letter; Ａ is
    // the narrow capital A, 3E 09 3E.
    const std::vector<std::uint8_t> columns = unpackColumns(std::span(image).subspan(60));
    ASSERT_EQ(columns.size(), 40u);
    const std::vector<std::uint8_t> a{0x3E, 0x09, 0x3E, 0, 0, 0, 0};
    EXPECT_EQ(narrowCell('A'), a);
    const std::string letters = "AECBD";
    for (std::size_t cell = 0; cell < letters.size(); ++cell)
        EXPECT_EQ(std::vector<std::uint8_t>(columns.begin() + 7 * cell, columns.begin() + 7 * cell + 7),
                  narrowCell(letters[cell]))
            << letters[cell];
    EXPECT_EQ(std::vector<std::uint8_t>(columns.begin() + 35, columns.end()), std::vector<std::uint8_t>(5, 0))
        << "padding";
}

// The command line adds nothing of its own to what the core packs.
class CommandLineProducts : public ::testing::TestWithParam<const char*> {};

TEST_P(CommandLineProducts, AreThoseOfTheCore) {
    const testing::TempDir dir;
    const std::vector<std::uint8_t> bytes =
        testing::readFileBytes(testing::sourcePath(std::string("examples/") + GetParam() + ".kvz"));
    testing::writeFile(dir / "deck.kvz", bytes);
    const std::vector<std::string> argv{testing::kvzpackBinary().string(), "deck.kvz", "--preview"};
    const testing::ProcessResult run = testing::runProgram(argv, dir.path());
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    auto packed = packDeckBytes(bytes, PackOptions{true, true});
    ASSERT_TRUE(packed.ok()) << packed.reason();
    EXPECT_EQ(testing::readFileText(dir / "deck.ihx"), packed->hexText);
    EXPECT_EQ(testing::readFileText(dir / "deck.txt"), packed->numberedHexText);
    EXPECT_EQ(testing::readFileBytes(dir / "deck.png"), packed->png);
}

INSTANTIATE_TEST_SUITE_P(Examples, CommandLineProducts, ::testing::Values("example", "sample"));

}  // namespace
}  // namespace kvz
