// Decks without phrases whose character count lies one above the values the
// plain one-byte limit reaches (128 + 127k): they convert, with the next
// lower limit and its warning, and read back as their decks; so do the decks
// that kvzdeck dump writes from their images. Their neighbours keep the plain
// limit and give no warning.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/layout.h"
#include "core/image_deck.h"
#include "core/pack.h"
#include "decode/decode.h"
#include "deck/deck.h"
#include "glyph/glyph.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

// The first `count` kanji (leads 0x89 to 0x9F) whose glyph cells differ
// from each other, so that a dump names each by its own code again.
std::vector<std::string> kanjiWithDistinctCells(std::size_t count) {
    std::vector<std::string> kanji;
    std::set<GlyphCell> cells;
    for (unsigned lead = 0x89; lead <= 0x9F && kanji.size() < count; ++lead)
        for (unsigned trail = 0x40; trail <= 0xFC && kanji.size() < count; ++trail) {
            if (trail == 0x7F) continue;
            const std::array<std::uint8_t, 2> code{static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
            const GlyphCell cell = selectGlyph(code);
            if (cell == GlyphCell{} || !cells.insert(cell).second) continue;
            kanji.push_back(std::string{static_cast<char>(lead), static_cast<char>(trail)});
        }
    return kanji;
}

// Every character once: 8 group names of one character, and entries (all in
// group 0) whose six fields share out the rest, none empty, none repeating a
// sequence, so that no phrase can pay.
std::vector<std::uint8_t> deckOfDistinctCharacters(std::size_t count) {
    const std::vector<std::string> kanji = kanjiWithDistinctCells(count);
    EXPECT_EQ(kanji.size(), count);
    const std::size_t rest = count - kGroupCount;
    constexpr std::size_t kPerField = 10;
    const std::size_t entries = (rest + kFieldsPerEntry * kPerField - 1) / (kFieldsPerEntry * kPerField);
    std::vector<std::string> fields(entries * kFieldsPerEntry);
    for (std::size_t k = 0; k < rest; ++k) fields[k % fields.size()] += kanji[kGroupCount + k];
    std::vector<std::uint8_t> deck;
    for (std::size_t g = 0; g < kGroupCount; ++g)
        testing::appendRecord(deck, testing::groupRecord(kanji[g], g == 0 ? static_cast<std::uint16_t>(entries) : 0));
    for (std::size_t e = 0; e < entries; ++e) {
        const auto* f = &fields[e * kFieldsPerEntry];
        testing::appendRecord(deck, testing::entryRecord({f[0], f[1], f[2], f[3], f[4], f[5]}));
    }
    return deck;
}

struct Packed {
    PackedDeck packed;
    DecodedImage decoded;
};

// Converted, read back from its HEX text and checked against the deck.
Packed packChecked(const std::vector<std::uint8_t>& kvz, Encoder encoder) {
    const Result<PackedDeck> packed = packDeckBytes(kvz, PackOptions{.verify = true, .encoder = encoder});
    EXPECT_TRUE(packed.ok()) << packed.reason();
    if (!packed) return {};
    Result<DecodedImage> decoded = decodeImage(packed->image, kLoadAddress);
    EXPECT_TRUE(decoded.ok()) << decoded.reason();
    return {*packed, decoded ? *decoded : DecodedImage{}};
}

struct CountCase {
    std::size_t characters;
    Encoder encoder;
};

std::string nameOf(const ::testing::TestParamInfo<CountCase>& info) {
    return std::to_string(info.param.characters) + (info.param.encoder == Encoder::best ? "_best" : "");
}

class CharacterCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(CharacterCounts, ConvertWithTheLimitThatHoldsTheCount) {
    const auto [characters, encoder] = GetParam();
    const auto count = static_cast<std::uint32_t>(characters);
    const bool lowered = count % 127 == 1;
    const Packed first = packChecked(deckOfDistinctCharacters(characters), encoder);
    ASSERT_EQ(first.packed.charTable.size(), characters);
    EXPECT_TRUE(first.decoded.phrases.empty());
    EXPECT_EQ(first.decoded.codesBefore, count);
    EXPECT_EQ(first.decoded.limit, getC2Code(static_cast<std::int32_t>(count)) - (lowered ? 1 : 0));
    const std::vector<std::string> warnings =
        lowered ? std::vector<std::string>{describeLoweredLimit(count, static_cast<std::uint16_t>(count))}
                : std::vector<std::string>{};
    EXPECT_EQ(first.packed.conversionWarnings, warnings);

    // The deck that kvzdeck dump writes from the image builds into the same
    // image, warned about alike.
    const Result<std::string> dumped = dumpImageDeck(first.decoded);
    ASSERT_TRUE(dumped.ok()) << dumped.reason();
    const Result<BuiltDeck> rebuilt = buildDeck(*dumped);
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.reason();
    const Packed again = packChecked(rebuilt->kvz, encoder);
    EXPECT_EQ(again.packed.hexText, first.packed.hexText);
    EXPECT_EQ(again.packed.conversionWarnings, warnings);
}

std::vector<CountCase> countCases() {
    std::vector<CountCase> cases;
    for (std::size_t count = 128; count <= 1525; count += 127) {
        cases.push_back({count, Encoder::standard});
        cases.push_back({count, Encoder::best});
    }
    // Neighbours, which the plain limit holds.
    for (const std::size_t count : {127, 129, 254, 256, 1524, 1526}) cases.push_back({count, Encoder::standard});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(OneAboveTheLastValue, CharacterCounts, ::testing::ValuesIn(countCases()), nameOf);

}  // namespace
}  // namespace kvz
