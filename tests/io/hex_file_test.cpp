// io's HEX functions on files: readHex and readHexAbs read a file as the
// text functions read its contents (the cases of hexfile/hex_cases.h, run
// through files here), writeHexAbs and writeHex write the formatted text
// whole, refuse a range before the file is touched, and name the path and
// the system's reason when a write fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "hexfile/hex.h"
#include "hexfile/hex_cases.h"
#include "hexfile/hex_test_files.h"
#include "io/format_files.h"

namespace kvz {
namespace {

using namespace test;
using testing::readFileText;

// What readHex or readHexAbs gives for a file holding the case's text: the
// result, the lowest address (`untouched` when not stored or not asked for)
// and the destination afterwards.
struct FileRead {
    std::uint32_t result = 0;
    std::uint32_t lowest = untouched;
    Bytes destination;
};

template <typename Stored>
FileRead readAsFile(const ReadCaseOf<Stored>& c, decltype(&readHex) read, bool askForLowest = true) {
    test::TempDir dir;
    testing::writeFile(dir.file("in.ihx"), c.text);
    FileRead got{0, untouched, Bytes(c.destinationSize, fill)};
    got.result = read(dir.file("in.ihx"), got.destination, askForLowest ? &got.lowest : nullptr, c.limit, c.verify);
    return got;
}

class HexReadFile : public ::testing::TestWithParam<ReadCase> {};

TEST_P(HexReadFile, ReadsTheFileAsItsText) {
    const ReadCase& c = GetParam();
    const FileRead got = readAsFile(c, readHex);
    EXPECT_EQ(got.result, c.result);
    EXPECT_EQ(got.lowest, c.lowest);
    for (auto [address, byte] : c.stored) {
        ASSERT_LT(address, got.destination.size());
        EXPECT_EQ(got.destination[address], byte) << "at " << address;
    }
    // Without a pointer for the lowest address the result is the same.
    EXPECT_EQ(readAsFile(c, readHex, false).result, c.result);
}

INSTANTIATE_TEST_SUITE_P(Records, HexReadFile, ::testing::ValuesIn(lenientReadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class HexReadAbsFile : public ::testing::TestWithParam<AbsCase> {};

TEST_P(HexReadAbsFile, ReadsTheFileAsItsText) {
    const AbsCase& c = GetParam();
    FileRead got = readAsFile(c, readHexAbs);
    EXPECT_EQ(got.result, c.result);
    EXPECT_EQ(got.lowest, c.lowest);
    got.destination.resize(c.stored.size());
    EXPECT_EQ(got.destination, c.stored);
}

INSTANTIATE_TEST_SUITE_P(Records, HexReadAbsFile, ::testing::ValuesIn(relativeReadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HexReadFile, MissingFileGivesZeroAndLeavesThePointer) {
    test::TempDir dir;
    Bytes destination(16, fill);
    std::uint32_t lowest = untouched;
    EXPECT_EQ(readHex(dir.file("none.ihx"), destination, &lowest, 16, true), 0u);
    EXPECT_EQ(readHexAbs(dir.file("none.ihx"), destination, &lowest, 16, true), 0u);
    EXPECT_EQ(readHex(dir.file(""), destination, &lowest, 16, true), 0u);  // a folder
    EXPECT_EQ(lowest, untouched);
}

TEST(HexReadFile, ReadsBackWhatTheWriterWrote) {
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 1000u, 64048u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const Bytes image = test::randomImage(size, 7 + static_cast<unsigned>(size));
        test::TempDir dir;
        const std::string path = dir.file("image.ihx");
        ASSERT_TRUE(writeHexAbs(path, image, 0x05D0, false).ok());

        Bytes memory(0x10000, fill);
        std::uint32_t lowest = untouched;
        const auto limit = static_cast<std::uint32_t>(0x05D0 + size);
        EXPECT_EQ(readHex(path, memory, &lowest, limit, true), size);
        EXPECT_EQ(lowest, size == 0 ? 0xFFFFu : 0x05D0u);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin() + 0x05D0));
        EXPECT_EQ(memory[0x05CF], fill);

        Bytes relative(size + 1, fill);
        lowest = untouched;
        EXPECT_EQ(readHexAbs(path, relative, &lowest, static_cast<std::uint32_t>(size), true), size);
        EXPECT_EQ(lowest, size == 0 ? untouched : 0x05D0u);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), relative.begin()));
        EXPECT_EQ(relative[size], fill);
    }
}

class HexWriteRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(HexWriteRange, DataPastFFFFIsRefusedBeforeTheFileIsTouched) {
    const RangeCase& c = GetParam();
    const std::vector<std::uint8_t> image(c.size, 0x5A);
    test::TempDir dir;
    const std::string path = dir.file("out.ihx");
    testing::writeFile(path, "older\r\n");
    auto written = writeHexAbs(path, image, c.base, false);
    if (c.lastAddress == nullptr) {
        ASSERT_TRUE(written.ok()) << written.reason();
        EXPECT_EQ(*written, c.size);
        return;
    }
    ASSERT_FALSE(written.ok());
    EXPECT_NE(written.reason().find(c.lastAddress), std::string::npos) << written.reason();
    EXPECT_EQ(readFileText(path), "older\r\n");
}

INSTANTIATE_TEST_SUITE_P(Limits, HexWriteRange, ::testing::ValuesIn(kRangeCases));

TEST(HexWrite, WritesTheWorkedExampleByteForByteAndReturnsTheSize) {
    test::TempDir dir;
    const auto image = countingBytes(20);
    auto plain = writeHexAbs(dir.file("example.ihx"), image, 0x05D0, false);
    auto numbered = writeHexAbs(dir.file("example.txt"), image, 0x05D0, true);
    ASSERT_TRUE(plain.ok()) << plain.reason();
    ASSERT_TRUE(numbered.ok()) << numbered.reason();
    EXPECT_EQ(*plain, 20u);
    EXPECT_EQ(*numbered, 20u);
    EXPECT_EQ(readFileText(dir.file("example.ihx")), examplePlain);
    EXPECT_EQ(readFileText(dir.file("example.txt")), exampleNumbered);
}

TEST(HexWrite, EmptyImageWritesTheEndRecordAloneAndReturnsZero) {
    test::TempDir dir;
    auto written = writeHexAbs(dir.file("e.txt"), {}, 0x05D0, true);
    ASSERT_TRUE(written.ok()) << written.reason();
    EXPECT_EQ(*written, 0u);
    EXPECT_EQ(readFileText(dir.file("e.txt")), "1:00000001FF\r\n");
}

TEST(HexWrite, ReplacesAnExistingFile) {
    test::TempDir dir;
    const std::string path = dir.file("out.ihx");
    testing::writeFile(path, std::string(5000, 'Z'));
    ASSERT_TRUE(writeHexAbs(path, countingBytes(20), 0x05D0, false).ok());
    EXPECT_EQ(readFileText(path), examplePlain);
}

TEST(HexWrite, WriteHexTakesTheBytesByAbsoluteAddress) {
    test::TempDir dir;
    std::vector<std::uint8_t> memory(0x05D0 + 20 + 7, 0xEE);
    for (std::uint8_t i = 0; i < 20; ++i) memory[0x05D0 + i] = i;
    auto written = writeHex(dir.file("abs.ihx"), memory, 0x05D0, 20, false);
    ASSERT_TRUE(written.ok()) << written.reason();
    EXPECT_EQ(*written, 20u);
    EXPECT_EQ(readFileText(dir.file("abs.ihx")), examplePlain);

    EXPECT_FALSE(writeHex(dir.file("out.ihx"), memory, 0x05D0, 28, false).ok());
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.ihx")));
    auto empty = writeHex(dir.file("none.ihx"), memory, 0x9000, 0, true);
    ASSERT_TRUE(empty.ok()) << empty.reason();
    EXPECT_EQ(readFileText(dir.file("none.ihx")), "1:00000001FF\r\n");
}

struct FailureCase {
    const char* name;
    std::string path;  // "@" stands for the temporary folder
    int error;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class HexWriteFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(HexWriteFailure, IsReportedWithThePathAndTheSystemsReason) {
    test::TempDir dir;
    std::string path = GetParam().path;
    if (path[0] == '@') path = dir.file(path.substr(1));
    for (bool numbered : {false, true}) {
        auto written = writeHexAbs(path, test::randomImage(5000, 1), 0x05D0, numbered);
        ASSERT_FALSE(written.ok());
        EXPECT_NE(written.reason().find(path), std::string::npos) << written.reason();
        EXPECT_NE(written.reason().find(std::strerror(GetParam().error)), std::string::npos)
            << written.reason();
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, HexWriteFailure,
                         ::testing::Values(FailureCase{"FullDevice", "/dev/full", ENOSPC},
                                           FailureCase{"MissingFolder", "@missing/out.ihx", ENOENT},
                                           FailureCase{"Folder", "@", EISDIR}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvz
