// The lenient reading of HEX text, and the reading relative to the lowest
// address, each on the cases of hex_cases.h; tests/io runs the same cases
// through files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hexfile/hex.h"
#include "hexfile/hex_cases.h"

namespace kvz {
namespace {

using namespace test;

class HexRead : public ::testing::TestWithParam<ReadCase> {};

void expectStored(const ReadCase& c, const Bytes& destination) {
    for (auto [address, byte] : c.stored) {
        ASSERT_LT(address, destination.size());
        EXPECT_EQ(destination[address], byte) << "at " << address;
    }
}

TEST_P(HexRead, FromText) {
    const ReadCase& c = GetParam();
    {
        SCOPED_TRACE("readHexText, lenient");
        Bytes destination(c.destinationSize, fill);
        auto data = readHexText(c.text, destination, {HexReading::lenient, c.verify, 0, c.limit});
        EXPECT_EQ(data ? data->span : 0, c.result);
        EXPECT_EQ(data ? data->lowest : untouched, c.lowest);
        expectStored(c, destination);
    }
    {
        SCOPED_TRACE("readHexFromText");
        Bytes destination(c.destinationSize, fill);
        std::uint32_t lowest = untouched;
        EXPECT_EQ(readHexFromText(c.text, destination, &lowest, c.limit, c.verify), c.result);
        EXPECT_EQ(lowest, c.lowest);
        expectStored(c, destination);
    }
    // Without a pointer for the lowest address the result is the same.
    Bytes destination(c.destinationSize, fill);
    EXPECT_EQ(readHexFromText(c.text, destination, nullptr, c.limit, c.verify), c.result);
}

INSTANTIATE_TEST_SUITE_P(Records, HexRead, ::testing::ValuesIn(lenientReadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class HexReadAbs : public ::testing::TestWithParam<AbsCase> {};

TEST_P(HexReadAbs, PlacesTheLowestAddressAtTheStart) {
    const AbsCase& c = GetParam();
    Bytes destination(c.destinationSize, fill);
    std::uint32_t lowest = untouched;
    EXPECT_EQ(readHexAbsFromText(c.text, destination, &lowest, c.limit, c.verify), c.result);
    EXPECT_EQ(lowest, c.lowest);
    destination.resize(c.stored.size());
    EXPECT_EQ(destination, c.stored);
}

INSTANTIATE_TEST_SUITE_P(Records, HexReadAbs, ::testing::ValuesIn(relativeReadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvz
