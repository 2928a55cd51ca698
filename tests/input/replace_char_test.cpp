// Character normalisation: the replacement table and replaceChar.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "input/kvz.h"
#include "input/replacement.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::sjis;

std::string normalise(std::string_view source) {
    std::vector<std::uint8_t> out;
    const std::size_t length =
        replaceChar(out, std::span(reinterpret_cast<const std::uint8_t*>(source.data()), source.size()));
    EXPECT_EQ(out.size(), length + 1);
    EXPECT_EQ(out.back(), 0);
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
}

// The table search as the device's converter describes it: the first row in
// table order whose key equals the bytes at the position.
std::optional<std::size_t> searchInOrder(std::uint8_t first, std::uint8_t second) {
    const auto table = replacementTable();
    for (std::size_t row = 0; row < table.size(); ++row) {
        const std::string_view key = table[row].key;
        const bool match = key.size() == 1
                               ? static_cast<std::uint8_t>(key[0]) == first
                               : static_cast<std::uint8_t>(key[0]) == first &&
                                     static_cast<std::uint8_t>(key[1]) == second;
        if (match) return row;
    }
    return std::nullopt;
}

std::optional<std::size_t> lookupRow(std::uint8_t first, std::uint8_t second) {
    const ReplacementRow* row = findReplacement(first, second);
    if (row == nullptr) return std::nullopt;
    return static_cast<std::size_t>(row - replacementTable().data());
}

TEST(ReplacementLookup, AgreesWithTheSearchInTableOrderForEveryTwoByteInput) {
    for (unsigned first = 0; first < 256; ++first) {
        for (unsigned second = 0; second < 256; ++second) {
            const auto a = static_cast<std::uint8_t>(first);
            const auto b = static_cast<std::uint8_t>(second);
            ASSERT_EQ(lookupRow(a, b), searchInOrder(a, b)) << std::hex << first << " " << second;
        }
    }
}

TEST(ReplacementLookup, AgreesWithTheSearchInTableOrderForEveryOneByteInput) {
    for (unsigned first = 0; first < 256; ++first) {
        const auto a = static_cast<std::uint8_t>(first);
        if (isKanji(a)) continue;  // covered with every trail byte above
        ASSERT_EQ(lookupRow(a, 0), searchInOrder(a, 0)) << std::hex << first;
    }
}

// The expected table, derived from Unicode: ASCII graphics become their
// full-width forms (U+FF01 onwards) except four quotation-like characters,
// half-width katakana their full-width letters, voiced katakana their base
// letter and a separate mark.
std::vector<std::pair<std::string, std::string>> expectedRows() {
    std::vector<std::pair<std::string, std::string>> rows;
    rows.emplace_back(sjis("ー"), sjis("－"));
    for (char32_t c = 0x21; c <= 0x7E; ++c) {
        std::string wide;
        switch (c) {
            case 0x22: wide = "”"; break;
            case 0x27: wide = "’"; break;
            case 0x5C: wide = "￥"; break;
            case 0x60: wide = "‘"; break;
            default: {
                const char32_t full = 0xFF01 + (c - 0x21);
                wide = {static_cast<char>(0xE0 | (full >> 12)), static_cast<char>(0x80 | ((full >> 6) & 0x3F)),
                        static_cast<char>(0x80 | (full & 0x3F))};
            }
        }
        rows.emplace_back(std::string(1, static_cast<char>(c)), sjis(wide));
    }
    const std::string halfWidth =
        "。「」、・ヲァィゥェォャュョッ－アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホ"
        "マミムメモヤユヨラリルレロワン゛゜";
    const std::string full = sjis(halfWidth);
    for (unsigned b = 0xA1; b <= 0xDF; ++b) {
        rows.emplace_back(std::string(1, static_cast<char>(b)), full.substr((b - 0xA1) * 2, 2));
    }
    const std::string voiced = sjis("ガギグゲゴザジズゼゾダヂヅデドバビブベボ");
    const std::string plain = sjis("カキクケコサシスセソタチツテトハヒフヘホ");
    for (std::size_t i = 0; i < voiced.size(); i += 2) {
        rows.emplace_back(voiced.substr(i, 2), plain.substr(i, 2) + sjis("゛"));
    }
    const std::string semiVoiced = sjis("パピプペポ");
    const std::string semiPlain = sjis("ハヒフヘホ");
    for (std::size_t i = 0; i < semiVoiced.size(); i += 2) {
        rows.emplace_back(semiVoiced.substr(i, 2), semiPlain.substr(i, 2) + sjis("゜"));
    }
    rows.emplace_back(sjis("ヴ"), sjis("ウ゛"));
    return rows;
}

TEST(ReplacementTable, HoldsTheRowsInTableOrder) {
    const auto expected = expectedRows();
    const auto table = replacementTable();
    ASSERT_EQ(table.size(), 184u);
    ASSERT_EQ(expected.size(), 184u);
    for (std::size_t row = 0; row < table.size(); ++row) {
        EXPECT_EQ(table[row].key, expected[row].first) << "row " << row;
        EXPECT_EQ(table[row].replacement, expected[row].second) << "row " << row;
    }
}

struct NormaliseCase {
    const char* name;
    std::string source;
    std::string expected;
};

class ReplaceCharCases : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(ReplaceCharCases, Normalises) {
    EXPECT_EQ(normalise(GetParam().source), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ReplaceCharCases,
    ::testing::Values(
        NormaliseCase{"AsciiLetters", "ABC", "\x82\x60\x82\x61\x82\x62"},
        NormaliseCase{"SpaceStays", "a b", "\x82\x81\x20\x82\x82"},
        NormaliseCase{"HalfWidthVoicedPair", "\xB6\xDE", "\x83\x4A\x81\x4A"},
        NormaliseCase{"FullWidthVoiced", "\x83\x4B", "\x83\x4A\x81\x4A"},
        NormaliseCase{"SemiVoiced", "\x83\x70", "\x83\x6E\x81\x4B"},
        NormaliseCase{"LongVowelMark", "\x81\x5B", "\x81\x7C"},
        NormaliseCase{"HalfWidthLongVowel", "\xB0", "\x81\x7C"},
        NormaliseCase{"HyphenMinus", "-", "\x81\x7C"},
        NormaliseCase{"ReplacementsDoNotChain", "--", "\x81\x7C\x81\x7C"},
        NormaliseCase{"Backslash", "\\", "\x81\x8F"},
        NormaliseCase{"Tilde", "~", "\x81\x60"},
        NormaliseCase{"Digits", "09", "\x82\x4F\x82\x58"},
        NormaliseCase{"LowerCase", "az", "\x82\x81\x82\x9A"},
        NormaliseCase{"HiraganaGaStays", "\x82\xAA", "\x82\xAA"},
        NormaliseCase{"KanjiStays", "\x8C\xEA", "\x8C\xEA"},
        NormaliseCase{"FullWidthSpaceStays", "\x81\x40", "\x81\x40"},
        NormaliseCase{"SmallKaKeStay", "\x83\x95\x83\x96", "\x83\x95\x83\x96"},
        NormaliseCase{"VuSplits", "\x83\x94", "\x83\x45\x81\x4A"},
        NormaliseCase{"ControlAndHighBytesPass", std::string("\x01\x7F\x80\xA0\xFD\xFF"),
                      std::string("\x01\x7F\x80\xA0\xFD\xFF")},
        // A trail byte that looks like an ASCII key is part of its character.
        NormaliseCase{"TrailByteIsNotAKey", "\x83\x41", "\x83\x41"},
        NormaliseCase{"TrailByteLikeBackslash", "\x95\x5C", "\x95\x5C"},
        NormaliseCase{"Empty", "", ""},
        NormaliseCase{"StopsAtZero", std::string("A\0B", 3), "\x82\x60"},
        NormaliseCase{"LoneLeadAtEndDropped", "A\x82", "\x82\x60"},
        NormaliseCase{"LeadBeforeZeroDropped", std::string("A\x82\0B", 4), "\x82\x60"},
        NormaliseCase{"OnlyALeadByte", "\x81", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceChar, AppendsBehindWhatIsThere) {
    std::vector<std::uint8_t> block{'x', 0};
    const std::string source = "A";
    replaceChar(block, std::span(reinterpret_cast<const std::uint8_t*>(source.data()), source.size()));
    EXPECT_EQ(block, (std::vector<std::uint8_t>{'x', 0, 0x82, 0x60, 0}));
}

TEST(ReplaceChar, NoOutputHoldsAnAsciiGraphicHalfWidthKanaOrVoicedKatakana) {
    // Every one-byte character, and every two-byte character of the katakana row.
    std::string all;
    for (unsigned b = 1; b < 256; ++b) {
        if (!isKanji(static_cast<std::uint8_t>(b))) all += static_cast<char>(b);
    }
    for (unsigned t = 0x40; t <= 0x96; ++t) all += std::string{'\x83', static_cast<char>(t)};
    const std::string out = normalise(all);
    const std::string voiced = sjis("ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポヴー");
    for (std::size_t i = 0; i < out.size();) {
        const auto b = static_cast<std::uint8_t>(out[i]);
        if (isKanji(b)) {
            const std::string c = out.substr(i, 2);
            for (std::size_t k = 0; k < voiced.size(); k += 2) EXPECT_NE(c, voiced.substr(k, 2));
            i += 2;
        } else {
            EXPECT_FALSE(b >= 0x21 && b <= 0x7E) << std::hex << unsigned(b);
            EXPECT_FALSE(b >= 0xA1 && b <= 0xDF) << std::hex << unsigned(b);
            i += 1;
        }
    }
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

std::size_t characterCount(std::string_view text) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++characters)
        at += isKanji(static_cast<std::uint8_t>(text[at])) && at + 1 < text.size() ? 2 : 1;
    return characters;
}

// A field of W bytes never gives more than W characters: the bound that the
// decoder holds every text of an image to. Every character, one byte or a
// lead byte with any second byte.
TEST(ReplaceChar, NoCharacterBecomesMoreCharactersThanItHasBytes) {
    for (unsigned first = 1; first < 256; ++first) {
        const bool lead = isKanji(static_cast<std::uint8_t>(first));
        for (unsigned second = lead ? 1 : 0; second < (lead ? 256u : 1u); ++second) {
            std::string character{static_cast<char>(first)};
            if (lead) character += static_cast<char>(second);
            SCOPED_TRACE(::testing::Message() << std::hex << first << " " << second);
            EXPECT_LE(characterCount(normalise(character)), character.size());
        }
    }
}

}  // namespace
}  // namespace kvz
