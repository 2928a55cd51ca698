// Damaged images and images that do not match their deck: each must be
// refused by decodeImage or caught by verifyImage with a reason naming the
// place, never crash.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "decode/decode.h"
#include "decode/example_image.h"
#include "decode/image_builder.h"
#include "input/kvz.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::buildImage;
using testing::exampleImage;
using testing::kExampleTable;
using testing::StreamBuilder;
using Bytes = std::vector<std::uint8_t>;

KvzFile exampleDeck() {
    auto deck = readKvzBytes(testing::readFileBytes(testing::sourcePath("examples/example.kvz")));
    EXPECT_TRUE(deck.ok()) << deck.reason();
    return deck.ok() ? std::move(deck.value()) : KvzFile{};
}

// Group lines 0-7 with names {0}, first-entry indexes and counts as given.
StreamBuilder& groups(StreamBuilder& stream, std::array<unsigned, 8> counts = {}) {
    unsigned first = 0;
    for (unsigned count : counts) {
        stream.line({0}).value(first).value(count);
        first += count;
    }
    return stream;
}

Bytes validStreamImage(const std::function<void(StreamBuilder&)>& tail = {}) {
    StreamBuilder stream;
    stream.header(2, 0);
    groups(stream);
    if (tail) tail(stream);
    return buildImage(stream.bytes, {});
}

TEST(DecodeRefusals, GiveTheReason) {
    struct Case {
        const char* name;
        Bytes image;
        const char* reason;
        std::uint32_t load = kLoadAddress;
    };
    Bytes notZero = exampleImage();
    notZero[1] = 0x01;
    Bytes outside = exampleImage();
    outside[2] = 0xD2;  // load + 2, inside the header
    outside[3] = 0x05;
    Bytes notMultiple = exampleImage();
    ++notMultiple[2];
    Bytes oddGlyphArea = exampleImage();
    oddGlyphArea.push_back(0);

    StreamBuilder endsEarly;
    endsEarly.header(2, 0).value(100);
    StreamBuilder emptyLine;
    emptyLine.header(2, 0).value(0);
    StreamBuilder badCode;
    badCode.header(2, 0).line({5});
    StreamBuilder tooManyPhrases;
    tooManyPhrases.header(2, 100);
    StreamBuilder wrongFirst;
    wrongFirst.header(2, 0).line({0}).value(0).value(0).line({0}).value(5).value(0);
    StreamBuilder hugeCount;
    hugeCount.limit = 100;
    hugeCount.header(2, 0);
    groups(hugeCount, {3000});

    const Bytes nonZeroPadding = validStreamImage([](StreamBuilder& s) { s.value(5); });
    const Bytes tooMuchPadding =
        validStreamImage([](StreamBuilder& s) { for (int i = 0; i < 8; ++i) s.value(0); });
    Bytes glyphPadding = validStreamImage();
    // One cell of 7 columns and an eighth, padding column that is not empty.
    const Bytes strip = testing::pack7(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    glyphPadding.insert(glyphPadding.end(), strip.begin(), strip.end());
    const Bytes noStream = {0x00, 0x00, 0xD4, 0x05};

    const std::vector<Case> cases = {
        {"header bytes", notZero, "first two bytes are not zero"},
        {"shorter than the header", Bytes{0, 0, 0xD4}, "less than its 4-byte header"},
        {"glyph address in the header", outside, "lies outside the image"},
        {"stream not whole groups", notMultiple, "not a multiple of 7"},
        {"glyph area not whole groups", oddGlyphArea, "glyph area of 36 bytes"},
        {"no stream", noStream, "holds no stream"},
        {"past FFFF", exampleImage(), "reaches past FFFF", 0xFFF0},
        {"stream ends in a text", buildImage(endsEarly.bytes, {}),
         "the stream ends inside group 0 name"},
        {"empty text", buildImage(emptyLine.bytes, {}), "empty text in group 0 name"},
        {"code beyond the phrases", buildImage(badCode.bytes, {}),
         "code 5 in group 0 name is neither a character nor a phrase"},
        {"phrase count", buildImage(tooManyPhrases.bytes, {}), "announces 100 phrases"},
        {"first-entry index", buildImage(wrongFirst.bytes, {}), "group 1 begins at entry 5"},
        {"huge entry count", buildImage(hugeCount.bytes, {}), "announces 3000 entries"},
        {"stream padding", nonZeroPadding, "padding behind the last entry is not zero"},
        {"values behind the entries", tooMuchPadding, "values behind the last entry"},
        {"glyph padding", glyphPadding, "padding behind the last cell is not empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto decoded = decodeImage(c.image, c.load);
        ASSERT_FALSE(decoded.ok());
        EXPECT_NE(decoded.reason().find(c.reason), std::string::npos) << decoded.reason();
    }
}

TEST(DecodeRefusals, ValidStreamImagesDecode) {
    // The base of the refusal cases decodes when left intact.
    EXPECT_TRUE(decodeImage(validStreamImage(), kLoadAddress).ok());
    EXPECT_TRUE(decodeImage(validStreamImage([](StreamBuilder& s) { s.value(0); }), kLoadAddress)
                    .ok());
}

// Replaces the t-th text of a TextBlock.
void replaceText(TextBlock& block, std::size_t t, const Bytes& text) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < t; ++i) at = static_cast<std::size_t>(
        std::find(block.begin() + static_cast<std::ptrdiff_t>(at), block.end(), 0) - block.begin()) + 1;
    const auto end = std::find(block.begin() + static_cast<std::ptrdiff_t>(at), block.end(), 0);
    block.erase(block.begin() + static_cast<std::ptrdiff_t>(at), end);
    block.insert(block.begin() + static_cast<std::ptrdiff_t>(at), text.begin(), text.end());
}

TEST(VerifyMismatches, NameWhatDiffersAndWhere) {
    struct Case {
        const char* name;
        std::function<void(KvzFile&, CharTable&, Bytes&)> change;
        const char* reason;
    };
    const Bytes fullD{0x82, 0x63}, fullA{0x82, 0x60};
    const std::vector<Case> cases = {
        {"short field 3 reads D", [&](KvzFile& d, CharTable&, Bytes&) { replaceText(d.textBlock, 11, fullD); },
         "group 0 entry 0 short field 3 differs at character 0: the image has code 1, the deck code 4"},
        {"long field one character short",
         [&](KvzFile& d, CharTable&, Bytes&) {
             Bytes abcdabcdabc;
             for (std::uint8_t c : {0x60, 0x61, 0x62, 0x63, 0x60, 0x61, 0x62, 0x63, 0x60, 0x61, 0x62}) {
                 abcdabcdabc.push_back(0x82);
                 abcdabcdabc.push_back(c);
             }
             replaceText(d.textBlock, 8, abcdabcdabc);
         },
         "group 0 entry 0 long field has 12 characters in the image, 11 in the deck"},
        {"group 7 named A", [&](KvzFile& d, CharTable&, Bytes&) { replaceText(d.textBlock, 7, fullA); },
         "group 7 name differs at character 0"},
        {"character outside the table",
         [&](KvzFile& d, CharTable&, Bytes&) { replaceText(d.textBlock, 9, Bytes{0x82, 0x65}); },
         "character 0x8265 of group 0 entry 0 short field 1 is not in the character table"},
        {"entry counted in group 1",
         [](KvzFile& d, CharTable&, Bytes&) { d.groupCounts = {0, 1, 0, 0, 0, 0, 0, 0}; },
         "group 0 has 1 entry in the image, 0 in the deck"},
        {"E and C swapped in the table",
         [](KvzFile&, CharTable& t, Bytes&) { std::swap(t[1], t[2]); },
         "glyph cell 1 is not the glyph of character 0x8262"},
        {"table without D", [](KvzFile&, CharTable& t, Bytes&) { t.pop_back(); },
         "the glyph area has 35 bytes; 4 characters need 28"},
        {"an empty glyph group appended",
         [](KvzFile&, CharTable&, Bytes& image) { image.insert(image.end(), 7, 0); },
         "the glyph area has 42 bytes; 5 characters need 35"},
        {"a glyph pixel flipped", [](KvzFile&, CharTable&, Bytes& image) { image[70] ^= 0x10; },
         "is not the glyph of character"},
        {"a stream code changed", [](KvzFile&, CharTable&, Bytes& image) { image[48] ^= 0x01; },
         "group 0 entry 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KvzFile deck = exampleDeck();
        CharTable table = kExampleTable;
        Bytes image = exampleImage();
        c.change(deck, table, image);
        const Status status = verifyImage(image, kLoadAddress, deck, table);
        ASSERT_FALSE(status.ok());
        EXPECT_NE(status.reason().find(c.reason), std::string::npos) << status.reason();
    }
}

// Exhaustive damage to the example image: verifyImage must refuse each.
class ExampleDamage : public ::testing::Test {
protected:
    void expectCaught(const Bytes& image, const std::string& what) {
        const Status status = verifyImage(image, kLoadAddress, deck_, kExampleTable);
        EXPECT_FALSE(status.ok()) << what;
    }
    KvzFile deck_ = exampleDeck();
    Bytes image_ = exampleImage();
};

TEST_F(ExampleDamage, IntactImageVerifies) {
    const Status status = verifyImage(image_, kLoadAddress, deck_, kExampleTable);
    EXPECT_TRUE(status.ok()) << status.reason();
}

TEST_F(ExampleDamage, EveryBitFlipThatChangesWhatTheDeviceReadsIsCaught) {
    for (std::size_t i = 0; i < image_.size(); ++i) {
        for (unsigned bit = 0; bit < 8; ++bit) {
            Bytes damaged = image_;
            damaged[i] = static_cast<std::uint8_t>(damaged[i] ^ 1u << bit);
            const std::string what = "byte " + std::to_string(i) + " bit " + std::to_string(bit);
            // Bit 0 of stream bytes 4-10 is the header value B - 1 = 127; a
            // flip lowers B to 64 at least, and every value of this stream is
            // below 14, so each still reads as one byte: the same texts.
            const bool limitOnly = i >= 4 && i <= 10 && bit == 0;
            if (limitOnly) {
                const Status status = verifyImage(damaged, kLoadAddress, deck_, kExampleTable);
                EXPECT_TRUE(status.ok()) << what << ": " << status.reason();
            } else {
                expectCaught(damaged, what);
            }
        }
    }
}

TEST_F(ExampleDamage, EveryTruncationIsCaught) {
    for (std::size_t size = 0; size < image_.size(); ++size)
        expectCaught(Bytes(image_.begin(), image_.begin() + static_cast<std::ptrdiff_t>(size)),
                     "size " + std::to_string(size));
}

TEST_F(ExampleDamage, EveryOtherGlyphAreaAddressIsCaught) {
    for (unsigned address = 0; address < 0x10000; ++address) {
        if (address == 0x060C) continue;
        Bytes damaged = image_;
        damaged[2] = static_cast<std::uint8_t>(address & 0xFF);
        damaged[3] = static_cast<std::uint8_t>(address >> 8);
        const Status status = verifyImage(damaged, kLoadAddress, deck_, kExampleTable);
        ASSERT_FALSE(status.ok()) << "address " << address;
    }
}

TEST_F(ExampleDamage, CyclicPhraseIsCaught) {
    // The phrase 13 = 0 3 2 4 rewritten as 0 3 2 13: it contains itself.
    Bytes values = testing::kExampleValues;
    ASSERT_EQ(values[7], 4);
    values[7] = 13;
    Bytes damaged = image_;
    const Bytes packed = testing::pack7(values);
    std::copy(packed.begin(), packed.end(), damaged.begin() + 4);
    auto decoded = decodeImage(damaged, kLoadAddress);
    ASSERT_FALSE(decoded.ok());
    EXPECT_EQ(decoded.reason(), "group 0 entry 0 long field: phrase 13 contains itself");
    const Status status = verifyImage(damaged, kLoadAddress, deck_, kExampleTable);
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.reason().find("group 0 entry 0 long field: phrase 13 contains itself"),
              std::string::npos)
        << status.reason();
}

}  // namespace
}  // namespace kvz
