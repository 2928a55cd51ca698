// The files the writer makes, read by GNU objcopy and by srecord's srec_cat;
// and files those tools make from a binary, read by readHex and readHexAbs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "hexfile/hex.h"
#include "hexfile/hex_test_files.h"
#include "io/format_files.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t loadAddress = 0x05D0;
const std::vector<std::size_t> imageSizes = {1, 15, 16, 17, 1000, 64048};

bool toolAvailable(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a command with its output out of sight; true when it exits with 0.
bool runQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

class HexInterop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(toolAvailable("objcopy")) << "objcopy is missing: install the package binutils";
        ASSERT_TRUE(toolAvailable("srec_cat")) << "srec_cat is missing: install the package srecord";
    }
    test::TempDir dir;
};

TEST_F(HexInterop, ToolsReadWhatTheWriterWrites) {
    for (std::size_t size : imageSizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const Bytes image = test::randomImage(size, 100 + static_cast<unsigned>(size));
        const std::string ihx = dir.file("image.ihx");
        ASSERT_TRUE(writeHexAbs(ihx, image, loadAddress, false).ok());

        const std::string byObjcopy = dir.file("objcopy.bin");
        ASSERT_TRUE(runQuietly("objcopy -I ihex -O binary " + quoted(ihx) + " " + quoted(byObjcopy)));
        EXPECT_EQ(testing::readFileText(byObjcopy), test::asText(image));

        const std::string bySrecCat = dir.file("srec_cat.bin");
        ASSERT_TRUE(runQuietly("srec_cat " + quoted(ihx) + " -intel -offset -0x05D0 -o " +
                               quoted(bySrecCat) + " -binary"));
        EXPECT_EQ(testing::readFileText(bySrecCat), test::asText(image));
    }
}

// Commands that make an Intel HEX file of a binary placed at 0x05D0 with
// 16-bit addresses only.
std::string objcopyToHex(const std::string& bin, const std::string& ihx) {
    return "objcopy -I binary -O ihex --change-section-address .data+0x05D0 " + quoted(bin) + " " +
           quoted(ihx);
}

// blockSize 0: srec_cat's own record size (32 bytes).
std::string srecCatToHex(const std::string& bin, const std::string& ihx, int blockSize) {
    return "srec_cat " + quoted(bin) + " -binary -offset 0x05D0 -o " + quoted(ihx) +
           " -intel -address-length=2" + (blockSize ? " -obs=" + std::to_string(blockSize) : "");
}

struct Producer {
    const char* name;
    bool objcopy;
    int blockSize;
    std::string command(const std::string& bin, const std::string& ihx) const {
        return objcopy ? objcopyToHex(bin, ihx) : srecCatToHex(bin, ihx, blockSize);
    }
};

void PrintTo(const Producer& c, std::ostream* os) { *os << c.name; }

class HexInteropRead : public HexInterop, public ::testing::WithParamInterface<Producer> {};

TEST_P(HexInteropRead, ReaderReadsWhatTheToolWrites) {
    for (std::size_t size : imageSizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const Bytes image = test::randomImage(size, 200 + static_cast<unsigned>(size));
        const std::string bin = dir.file("image.bin");
        const std::string ihx = dir.file("image.ihx");
        testing::writeFile(bin, test::asText(image));
        ASSERT_TRUE(runQuietly(GetParam().command(bin, ihx)));

        Bytes memory(0x10000, 0);
        std::uint32_t lowest = 0;
        EXPECT_EQ(readHex(ihx, memory, &lowest, 0x10000, true), size);
        EXPECT_EQ(lowest, loadAddress);
        EXPECT_EQ(Bytes(memory.begin() + loadAddress, memory.begin() + loadAddress + size), image);

        Bytes relative(size, 0);
        lowest = 0;
        EXPECT_EQ(readHexAbs(ihx, relative, &lowest, static_cast<std::uint32_t>(size), true), size);
        EXPECT_EQ(lowest, loadAddress);
        EXPECT_EQ(relative, image);
    }
}

// srec_cat's default of 32 bytes a record, 16 like the writer, and 121, the
// longest record whose line end still fits one read.
INSTANTIATE_TEST_SUITE_P(Tools, HexInteropRead,
                         ::testing::Values(Producer{"Objcopy", true, 0}, Producer{"SrecCat", false, 0},
                                           Producer{"SrecCat16", false, 16},
                                           Producer{"SrecCat121", false, 121}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HexInterop, EmptyImageFromSrecCatHasNoData) {
    const std::string bin = dir.file("empty.bin");
    const std::string ihx = dir.file("empty.ihx");
    testing::writeFile(bin, "");
    ASSERT_TRUE(runQuietly(srecCatToHex(bin, ihx, 0)));
    std::uint32_t lowest = 0;
    Bytes memory(0x10000, 0);
    EXPECT_EQ(readHex(ihx, memory, &lowest, 0x10000, true), 0u);
    EXPECT_EQ(lowest, 0xFFFFu);
}

TEST_F(HexInterop, RecordsTooLongForOneReadAreRefused) {
    const std::string bin = dir.file("image.bin");
    const std::string ihx = dir.file("image.ihx");
    testing::writeFile(bin, test::asText(test::randomImage(300, 3)));
    ASSERT_TRUE(runQuietly(srecCatToHex(bin, ihx, 122)));
    Bytes memory(0x10000, 0);
    EXPECT_EQ(readHex(ihx, memory, nullptr, 0x10000, false), 0u);
}

TEST_F(HexInterop, StartAddressRecordIsRefused) {
    // objcopy adds a start address record (type 03) when the addresses are moved this way.
    const std::string bin = dir.file("image.bin");
    const std::string ihx = dir.file("image.ihx");
    testing::writeFile(bin, test::asText(test::randomImage(40, 4)));
    ASSERT_TRUE(runQuietly("objcopy -I binary -O ihex --change-addresses 0x05D0 " + quoted(bin) + " " +
                           quoted(ihx)));
    ASSERT_NE(testing::readFileText(ihx).find(":04000003"), std::string::npos);
    Bytes memory(0x10000, 0);
    EXPECT_EQ(readHex(ihx, memory, nullptr, 0x10000, false), 0u);
}

}  // namespace
}  // namespace kvz
