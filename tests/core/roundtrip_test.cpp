// Round trip through the whole conversion: every image convertKvz makes
// decodes back to its deck's texts and glyphs, also once formatted as Intel
// HEX and read back from that text; damage to a real image is caught.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/convert.h"
#include "core/verify.h"
#include "deck/deck.h"
#include "decode/decode.h"
#include "hexfile/hex.h"
#include "input/kvz.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

KvzFile deckFromTsvFile(const std::string& name) {
    return testing::kvzFileOf(testing::deckFromTsv(testing::readFileText(testing::sourcePath(name))));
}

Conversion convertOrFail(const KvzFile& deck) {
    auto conversion = convertKvz(deck);
    EXPECT_TRUE(conversion.ok()) << conversion.reason();
    return conversion.ok() ? std::move(conversion.value()) : Conversion{};
}

TEST(DecodeRoundTrip, WholeFileExample) {
    const KvzFile deck =
        testing::kvzFileOf(testing::readFileBytes(testing::sourcePath("examples/example.kvz")));
    const Conversion conversion = convertOrFail(deck);
    ASSERT_EQ(conversion.image.size(), 95u);
    auto decoded = decodeImage(conversion.image, kLoadAddress);
    ASSERT_TRUE(decoded.ok()) << decoded.reason();
    EXPECT_EQ(decoded->glyphAreaAddress, 0x060C);
    EXPECT_EQ(decoded->codesBefore, 13);
    EXPECT_EQ(decoded->streamValues, 57u);
    ASSERT_EQ(decoded->phrases.size(), 1u);
    EXPECT_EQ(decoded->phrases[0], (StoredText{0, 3, 2, 4}));
    ASSERT_EQ(decoded->entries.size(), 1u);
    EXPECT_EQ(decoded->entries[0][5], (StoredText{1, 1, 1}));
    const Status status = verifyImage(conversion.image, kLoadAddress, deck, conversion.charTable);
    EXPECT_TRUE(status.ok()) << status.reason();
}

// Decks that exercise the corners of the layout.
const char* const kCornerDecks[] = {
    // Eight groups, no entry at all.
    "A\nB\nC\nD\nE\nF\nG\nH\n",
    // Entries in the last group only, and in an inner group.
    "A\nB\nC\nD\nx\ty\tz\tw\tv\tu\nE\nF\nG\nH\n1\t2\t3\t4\t5\t6\n7\t8\t9\t0\t1\t2\n",
    // One-byte spaces, half-width and voiced katakana, kanji.
    "名詞\na b c\tｶﾞｷﾞ\tガギグ\t日 本\t　\t~\\\\\nB\nC\nD\nE\nF\nG\nH\n",
    // Box-drawing characters, whose font glyphs have an eighth pixel row that
    // the image does not carry (found by convert_fuzz).
    "罫線\n┃━┏┓┛┗┣┳┫┻╋\t┠┯┨┷┿┝┰┥┸╂\t│─┌┐┘└├┬┤┴┼\t━━━\t┃┃┃\t╋\nB\nC\nD\nE\nF\nG\nH\n",
    // Repetition everywhere: nested phrases.
    "AB\nAB\nAB\nAB\nAB\nAB\nAB\nAB\n"
    "ABCDABCDABCDABCDEFGHEFGHEFGHABCDABCD\tABCDEFGH\tABCDEFGH\tEFGHABCD\tABAB\tCDCD\n"
    "ABCDABCDABCDABCDEFGHEFGHEFGHABCDABCD\tABCDEFGH\tABCDEFGH\tEFGHABCD\tABAB\tCDCD\n",
};

TEST(DecodeRoundTrip, CornerDecks) {
    for (const char* tsv : kCornerDecks) {
        SCOPED_TRACE(tsv);
        const KvzFile deck = testing::kvzFileOf(testing::deckFromTsv(tsv));
        const Conversion conversion = convertOrFail(deck);
        const Status status =
            verifyImage(conversion.image, kLoadAddress, deck, conversion.charTable);
        EXPECT_TRUE(status.ok()) << status.reason();
    }
}

class ExampleDecks : public ::testing::TestWithParam<const char*> {};

TEST_P(ExampleDecks, EveryTextExpandsBack) {
    const KvzFile deck = deckFromTsvFile(GetParam());
    const Conversion conversion = convertOrFail(deck);
    auto decoded = decodeImage(conversion.image, kLoadAddress);
    ASSERT_TRUE(decoded.ok()) << decoded.reason();
    EXPECT_GT(decoded->phrases.size(), 0u);
    EXPECT_EQ(decoded->cells.size() >= conversion.charTable.size(), true);
    const Status status = verifyImage(conversion.image, kLoadAddress, deck, conversion.charTable);
    EXPECT_TRUE(status.ok()) << status.reason();
}

TEST_P(ExampleDecks, HexTextVerifies) {
    const KvzFile deck = deckFromTsvFile(GetParam());
    const Conversion conversion = convertOrFail(deck);
    auto text = formatHexAbs(conversion.image, kLoadAddress, false);
    ASSERT_TRUE(text.ok()) << text.reason();
    const auto status = verifyHexText(*text, conversion.image.size(), deck, conversion.charTable);
    EXPECT_TRUE(status.ok()) << status.reason();
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleDecks,
                         ::testing::Values("examples/sample.tsv", "examples/large.tsv"));

class SampleImage : public ::testing::Test {
protected:
    KvzFile deck_ = deckFromTsvFile("examples/sample.tsv");
    Conversion conversion_ = convertOrFail(deck_);
};

TEST_F(SampleImage, ABitFlipInEveryByteIsCaught) {
    const Bytes& image = conversion_.image;
    std::size_t harmless = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        Bytes damaged = image;
        damaged[i] = static_cast<std::uint8_t>(damaged[i] ^ 1u << (i % 8));
        const Status status = verifyImage(damaged, kLoadAddress, deck_, conversion_.charTable);
        if (status.ok()) ++harmless;
    }
    EXPECT_EQ(harmless, 0u);
}

TEST_F(SampleImage, EveryTruncationIsCaught) {
    const Bytes& image = conversion_.image;
    for (std::size_t size = 0; size < image.size(); ++size) {
        const Status status = verifyImage(std::span(image).first(size), kLoadAddress, deck_,
                                          conversion_.charTable);
        ASSERT_FALSE(status.ok()) << size;
    }
}

TEST_F(SampleImage, AnotherDecksImageIsCaught) {
    const KvzFile other =
        testing::kvzFileOf(testing::readFileBytes(testing::sourcePath("examples/example.kvz")));
    const Conversion otherConversion = convertOrFail(other);
    EXPECT_FALSE(verifyImage(otherConversion.image, kLoadAddress, deck_, conversion_.charTable).ok());
    EXPECT_FALSE(verifyImage(conversion_.image, kLoadAddress, other, otherConversion.charTable).ok());
}

TEST_F(SampleImage, DamagedHexTextsAreCaught) {
    struct Case {
        const char* name;
        Bytes image;
        std::uint32_t base;
        const char* reason;
    };
    Bytes shortImage = conversion_.image;
    shortImage.resize(shortImage.size() - 7);
    Bytes flipped = conversion_.image;
    flipped[flipped.size() / 2] ^= 0x04;
    const std::vector<Case> cases = {
        {"placed elsewhere", conversion_.image, kLoadAddress + 16, "starts at 0x05E0"},
        {"last glyph group missing", shortImage, kLoadAddress, "does not say what the deck says"},
        {"one bit changed, checksums right", flipped, kLoadAddress, "does not say what the deck says"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto text = formatHexAbs(c.image, c.base, false);
        ASSERT_TRUE(text.ok()) << text.reason();
        const auto status = verifyHexText(*text, c.image.size(), deck_, conversion_.charTable);
        ASSERT_FALSE(status.ok());
        EXPECT_NE(status.reason().find(c.reason), std::string::npos) << status.reason();
    }
    // A wrong checksum: the reader refuses the text.
    auto text = formatHexAbs(conversion_.image, kLoadAddress, false);
    ASSERT_TRUE(text.ok()) << text.reason();
    std::string& damaged = *text;
    damaged[damaged.find('\n') - 2] = damaged[damaged.find('\n') - 2] == '0' ? '1' : '0';
    const auto status = verifyHexText(damaged, conversion_.image.size(), deck_, conversion_.charTable);
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.reason().find("cannot read back"), std::string::npos) << status.reason();
}

}  // namespace
}  // namespace kvz
