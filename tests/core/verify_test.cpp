// The check made before anything is written: the image is read back from
// its Intel HEX text, as strictly as --inspect reads a file, and must say
// what the deck says. When it does not, the conversion fails with
// "internal error: ...", which kvzpack prints, as every failure of a file,
// as "kvzpack: FILE: REASON".
#include <gtest/gtest.h>

#include "core/convert.h"
#include "core/pack.h"
#include "core/verify.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

struct Converted {
    KvzFile deck;
    Conversion conversion;
};

KvzFile exampleDeck() {
    auto deck = readKvzBytes(testing::bundledDeckBytes("example.kvz"));
    EXPECT_TRUE(deck.ok()) << deck.reason();
    return deck.ok() ? std::move(deck.value()) : KvzFile{};
}

Converted convertExample() {
    KvzFile deck = exampleDeck();
    auto conversion = convertKvz(deck);
    EXPECT_TRUE(conversion.ok()) << conversion.reason();
    return {std::move(deck), conversion.ok() ? std::move(conversion.value()) : Conversion{}};
}

std::string hexText(const std::vector<std::uint8_t>& image, std::uint32_t base = kLoadAddress) {
    auto text = formatHexAbs(image, base, false);
    EXPECT_TRUE(text.ok()) << text.reason();
    return text.ok() ? *text : std::string();
}

Result<std::vector<std::uint8_t>> verify(const Converted& example, std::string_view text) {
    return verifyHexText(text, example.conversion.image.size(), example.deck, example.conversion.charTable);
}

TEST(VerifyHexText, TheRightImagePassesAndIsGivenBack) {
    const Converted example = convertExample();
    auto checked = verify(example, hexText(example.conversion.image));
    ASSERT_TRUE(checked.ok()) << checked.reason();
    EXPECT_EQ(*checked, example.conversion.image);
}

TEST(VerifyHexText, CatchesWrongImages) {
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
        auto checked = verify(example, hexText(c.bytes, c.base));
        ASSERT_FALSE(checked.ok()) << c.what;
        EXPECT_EQ(checked.reason().rfind(c.reasonStart, 0), 0u) << c.what << ": " << checked.reason();
    }
}

TEST(VerifyHexText, CatchesADamagedText) {
    const Converted example = convertExample();
    std::string text = hexText(example.conversion.image);
    text[12] = text[12] == 'F' ? 'E' : 'F';
    auto checked = verify(example, text);
    ASSERT_FALSE(checked.ok());
    EXPECT_EQ(checked.reason().rfind("cannot read back the image written: ", 0), 0u) << checked.reason();
}

// The text is read as strictly as --inspect reads: a text the lenient
// reading would take whole is still refused, with the line at fault.
TEST(VerifyHexText, ReadsTheTextAsOneImage) {
    const Converted example = convertExample();
    const std::string text = hexText(example.conversion.image);
    const std::size_t secondLine = text.find("\r\n") + 2;
    const std::size_t thirdLine = text.find("\r\n", secondLine) + 2;
    const std::pair<std::string, std::string> cases[] = {
        {text + ":0105D0000129\r\n", "line 8: records after the end record, not read"},
        {text.substr(0, secondLine) + ":0105D0000129\r\n" + text.substr(secondLine),
         "line 2: address 0x05D0 holds 01 here but 00 on line 1"},
        {text.substr(0, secondLine) + text.substr(thirdLine), "line 2: gap before this record: no data for 0x05E0-0x05EF"},
    };
    for (const auto& [damaged, reason] : cases) {
        auto checked = verify(example, damaged);
        ASSERT_FALSE(checked.ok()) << reason;
        EXPECT_EQ(checked.reason(), "cannot read back the image written: " + reason);
    }
}

TEST(VerifyHexText, AnotherDecksTableIsCaught) {
    Converted example = convertExample();
    const std::string text = hexText(example.conversion.image);
    std::swap(example.conversion.charTable[1], example.conversion.charTable[2]);  // E and C
    EXPECT_FALSE(verify(example, text).ok());
}

// Where text `index` (0 = group 0's name) begins in the deck's text block.
std::size_t textStart(const KvzFile& deck, std::size_t index) {
    std::size_t at = 0;
    for (std::size_t t = 0; t < index; ++t)
        while (deck.textBlock.at(at++) != 0) {
        }
    return at;
}

// The deck changes under the conversion at the phrase search's last
// progress report, when its texts have long been turned into codes: the
// image made is then that of the deck as it was, as if the conversion had
// gone wrong. The check finds the first difference; without it (as with
// --no-verify) the wrong image is taken.
Result<PackedDeck> packTheChangingExample(bool verify) {
    KvzFile deck = exampleDeck();
    const std::size_t longField = textStart(deck, kGroupCount);
    EXPECT_EQ(deck.textBlock.at(longField + 1), 0x60);  // ＡＢＣＤ...: Ａ is 82 60
    const auto changeTheDeck = [&](int stage) {
        if (stage == 0) deck.textBlock[longField + 1] = 0x62;  // the first Ａ becomes Ｃ
    };
    return packDeck(deck, PackOptions{verify, false}, changeTheDeck);
}

TEST(PackDeck, AnImageThatDoesNotSayWhatTheDeckSaysIsAnInternalError) {
    auto checked = packTheChangingExample(true);
    ASSERT_FALSE(checked.ok());
    EXPECT_EQ(checked.reason(),
              "internal error: the image read back does not say what the deck says: group 0 entry 0 long field "
              "differs at character 0: the image has code 0, the deck code 2");
    auto unchecked = packTheChangingExample(false);
    EXPECT_TRUE(unchecked.ok()) << unchecked.reason();
}

}  // namespace
}  // namespace kvz
