// Verification after write: the image read back from the written file must
// say what the deck says, or the file's outputs are dropped.
#include <gtest/gtest.h>

#include "cli/image_file.h"
#include "cli_support.h"
#include "core/convert.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"
#include "io/format_files.h"

namespace kvz {
namespace {

using testing::TempDir;

struct Converted {
    KvzFile deck;
    Conversion conversion;
};

Converted convertExample() {
    auto deck = readKvzBytes(cli_testing::exampleDeck());
    EXPECT_TRUE(deck.ok());
    auto conversion = convertKvz(*deck);
    EXPECT_TRUE(conversion.ok());
    return {std::move(deck.value()), std::move(conversion.value())};
}

std::string writeImage(const TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& image,
                       std::uint32_t base = kLoadAddress) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(writeHexAbs(path, image, base, false).ok());
    return path;
}

TEST(CliVerifyAfterWrite, TheRightImagePassesAndIsGivenBack) {
    TempDir dir;
    const Converted example = convertExample();
    const std::string path = writeImage(dir, "good.ihx", example.conversion.image);
    auto checked = verifyWrittenImage(path, example.conversion.image.size(), example.deck,
                                      example.conversion.charTable);
    ASSERT_TRUE(checked.ok()) << checked.reason();
    EXPECT_EQ(*checked, example.conversion.image);
}

TEST(CliVerifyAfterWrite, CatchesWrongImages) {
    TempDir dir;
    const Converted example = convertExample();
    const auto& image = example.conversion.image;
    ASSERT_EQ(image.size(), 95u);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::uint32_t base;
        const char* reasonStart;
    };
    std::vector<Case> cases;
    auto flipped = image;
    flipped[11] ^= 0x02;  // bit 6 of value 9, group 0's name: code 0 becomes 64
    cases.push_back({"a stream bit", flipped, kLoadAddress, "the image read back does not say what the deck says: "});
    auto glyph = image;
    glyph[94] ^= 0x01;  // the top pixel of strip column 32, in the last cell
    cases.push_back({"a glyph pixel", glyph, kLoadAddress, "the image read back does not say what the deck says: "});
    auto shorter = image;
    shorter.pop_back();
    cases.push_back({"a byte short", shorter, kLoadAddress, "the image read back has 94 bytes, 95 were written"});
    cases.push_back({"another address", image, 0x0600,
                     "cannot read back the image written: not a device image: its data starts at 0x0600"});
    for (const Case& c : cases) {
        const std::string path = writeImage(dir, "bad.ihx", c.bytes, c.base);
        auto checked = verifyWrittenImage(path, image.size(), example.deck, example.conversion.charTable);
        ASSERT_FALSE(checked.ok()) << c.what;
        EXPECT_EQ(checked.reason().rfind(c.reasonStart, 0), 0u) << c.what << ": " << checked.reason();
    }
}

TEST(CliVerifyAfterWrite, CatchesADamagedOrMissingFile) {
    TempDir dir;
    const Converted example = convertExample();
    std::string text = testing::readFileText(writeImage(dir, "x.ihx", example.conversion.image));
    text[12] = text[12] == 'F' ? 'E' : 'F';
    testing::writeFile(dir / "damaged.ihx", text);
    for (const char* name : {"damaged.ihx", "missing.ihx"}) {
        auto checked = verifyWrittenImage((dir / name).string(), example.conversion.image.size(), example.deck,
                                          example.conversion.charTable);
        ASSERT_FALSE(checked.ok()) << name;
        EXPECT_EQ(checked.reason().rfind("cannot read back the image written: ", 0), 0u) << checked.reason();
    }
}

// The written file is read as strictly as --inspect reads: a file the lenient
// reading would take whole is still refused, with the line at fault.
TEST(CliVerifyAfterWrite, ReadsTheFileAsOneImage) {
    TempDir dir;
    const Converted example = convertExample();
    const std::string text = testing::readFileText(writeImage(dir, "x.ihx", example.conversion.image));
    const std::size_t secondLine = text.find("\r\n") + 2;
    const std::size_t thirdLine = text.find("\r\n", secondLine) + 2;
    const std::pair<std::string, std::string> cases[] = {
        {text + ":0105D0000129\r\n", "line 8: records after the end record, not read"},
        {text.substr(0, secondLine) + ":0105D0000129\r\n" + text.substr(secondLine),
         "line 2: address 0x05D0 holds 01 here but 00 on line 1"},
        {text.substr(0, secondLine) + text.substr(thirdLine), "line 2: gap before this record: no data for 0x05E0-0x05EF"},
    };
    for (const auto& [damaged, reason] : cases) {
        testing::writeFile(dir / "damaged.ihx", damaged);
        auto checked = verifyWrittenImage((dir / "damaged.ihx").string(), example.conversion.image.size(),
                                          example.deck, example.conversion.charTable);
        ASSERT_FALSE(checked.ok()) << reason;
        EXPECT_EQ(checked.reason(), "cannot read back the image written: " + reason);
    }
}

TEST(CliVerifyAfterWrite, AnotherDecksTableIsCaught) {
    TempDir dir;
    Converted example = convertExample();
    const std::string path = writeImage(dir, "x.ihx", example.conversion.image);
    std::swap(example.conversion.charTable[1], example.conversion.charTable[2]);  // E and C
    auto checked = verifyWrittenImage(path, example.conversion.image.size(), example.deck,
                                      example.conversion.charTable);
    EXPECT_FALSE(checked.ok());
}

}  // namespace
}  // namespace kvz
