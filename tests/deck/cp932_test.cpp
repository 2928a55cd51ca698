// kvzdeck's CP932 table against the system's iconv, every code both ways.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "deck/cp932.h"
#include "system_cp932.h"

namespace kvz {
namespace {

// What iconv decodes `code` to when it is exactly one character.
std::optional<char32_t> iconvCharacter(cp932gen::SystemCp932& iconv, const std::string& code) {
    const std::optional<std::u32string> text = iconv.decode(code);
    if (!text || text->size() != 1) return std::nullopt;
    return text->front();
}

std::string hexCode(const std::string& code) {
    std::string out = "0x";
    for (unsigned char byte : code) {
        constexpr const char* kDigits = "0123456789ABCDEF";
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
    }
    return out;
}

TEST(Cp932Table, DecodesEveryOneByteCodeAsIconvDoes) {
    cp932gen::SystemCp932 iconv;
    for (int byte = 0; byte <= 0xFF; ++byte) {
        const std::string code(1, static_cast<char>(byte));
        EXPECT_EQ(cp932ToUnicode(code), iconvCharacter(iconv, code)) << hexCode(code);
    }
}

TEST(Cp932Table, DecodesEveryTwoByteCodeAsIconvDoes) {
    cp932gen::SystemCp932 iconv;
    int characters = 0;
    for (int lead = 0; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) {
            const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            const std::optional<char32_t> expected = iconvCharacter(iconv, code);
            ASSERT_EQ(cp932ToUnicode(code), expected) << hexCode(code);
            characters += expected.has_value();
        }
    }
    // JIS X 0208's 6879 characters, 83 NEC special characters, 374 NEC-selected
    // and 388 IBM extension characters, and 1880 user-defined codes.
    EXPECT_EQ(characters, 9604);
}

TEST(Cp932Table, EncodesEveryUnicodeCharacterAsIconvDoes) {
    cp932gen::SystemCp932 iconv;
    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;  // not characters
        ASSERT_EQ(unicodeToCp932(codePoint), iconv.encode(codePoint)) << std::hex << "U+" << static_cast<unsigned>(codePoint);
    }
}

TEST(Cp932Table, RefusesWhatIsNotOneCode) {
    EXPECT_EQ(cp932ToUnicode(""), std::nullopt);
    EXPECT_EQ(cp932ToUnicode("\x82\xA0\x82"), std::nullopt);
    EXPECT_EQ(unicodeToCp932(0x110000), std::nullopt);
}

struct KnownCode {
    const char* name;
    std::string code;
    char32_t unicode;
};

class Cp932KnownCodes : public ::testing::TestWithParam<KnownCode> {};

TEST_P(Cp932KnownCodes, DecodeAsPublished) {
    EXPECT_EQ(cp932ToUnicode(GetParam().code), GetParam().unicode);
}

// Codes from the published CP932 chart, each with the one character it stands for.
INSTANTIATE_TEST_SUITE_P(
    Chart, Cp932KnownCodes,
    ::testing::Values(KnownCode{"Backslash", "\x5C", U'\\'}, KnownCode{"Tilde", "\x7E", U'~'},
                      KnownCode{"HalfWidthIdeographicStop", "\xA1", U'｡'},
                      KnownCode{"HalfWidthSemiVoicedMark", "\xDF", U'ﾟ'},
                      KnownCode{"IdeographicSpace", "\x81\x40", U'\u3000'},
                      KnownCode{"FullWidthTilde", "\x81\x60", U'～'},
                      KnownCode{"FullWidthHyphenMinus", "\x81\x7C", U'－'},
                      KnownCode{"HiraganaA", "\x82\xA0", U'あ'}, KnownCode{"LastJisLevel2", "\xEA\xA4", U'熙'},
                      KnownCode{"NecCircledOne", "\x87\x40", U'①'},
                      KnownCode{"NecRomanOne", "\x87\x54", U'Ⅰ'},
                      KnownCode{"NecSelectedSmallRomanOne", "\xEE\xEF", U'ⅰ'},
                      KnownCode{"NecSelectedTaka", "\xEE\xE0", U'髙'},
                      KnownCode{"IbmSmallRomanOne", "\xFA\x40", U'ⅰ'},
                      KnownCode{"IbmRomanOne", "\xFA\x4A", U'Ⅰ'}, KnownCode{"IbmNotSign", "\xFA\x54", U'￢'},
                      KnownCode{"IbmTaka", "\xFB\xFC", U'髙'}, KnownCode{"LastIbmKanji", "\xFC\x4B", U'黑'},
                      KnownCode{"FirstUserDefined", "\xF0\x40", U'\uE000'},
                      KnownCode{"LastUserDefined", "\xF9\xFC", U'\uE757'}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnassignedCode {
    const char* name;
    std::string code;
};

class Cp932Unassigned : public ::testing::TestWithParam<UnassignedCode> {};

TEST_P(Cp932Unassigned, DecodeToNothing) { EXPECT_EQ(cp932ToUnicode(GetParam().code), std::nullopt); }

INSTANTIATE_TEST_SUITE_P(
    Chart, Cp932Unassigned,
    ::testing::Values(UnassignedCode{"Byte80", "\x80"}, UnassignedCode{"ByteA0", "\xA0"},
                      UnassignedCode{"ByteFD", "\xFD"}, UnassignedCode{"LoneLead", "\x81"},
                      UnassignedCode{"TrailBelow40", "\x81\x3F"}, UnassignedCode{"Trail7F", "\x81\x7F"},
                      UnassignedCode{"TrailAboveFC", "\x81\xFD"}, UnassignedCode{"UnassignedRow2", "\x81\xAD"},
                      UnassignedCode{"NecRow13Gap", "\x87\x76"}, UnassignedCode{"AfterIbmKanji", "\xFC\x4C"},
                      UnassignedCode{"TwoCharacters", "AB"}, UnassignedCode{"KatakanaPair", "\xB1\xB2"}),
    [](const auto& info) { return std::string(info.param.name); });

struct KnownEncoding {
    const char* name;
    char32_t unicode;
    std::optional<std::string> code;
};

class Cp932Encodes : public ::testing::TestWithParam<KnownEncoding> {};

TEST_P(Cp932Encodes, AsTheSystemConverterDoes) {
    EXPECT_EQ(unicodeToCp932(GetParam().unicode), GetParam().code);
}

// Of two or three codes for one character, the NEC special character wins
// over the IBM extension, and the IBM extension over the NEC-selected copy.
INSTANTIATE_TEST_SUITE_P(
    Choices, Cp932Encodes,
    ::testing::Values(KnownEncoding{"RomanOneIsNec", U'Ⅰ', "\x87\x54"},
                      KnownEncoding{"SmallRomanOneIsIbm", U'ⅰ', "\xFA\x40"},
                      KnownEncoding{"TakaIsIbm", U'髙', "\xFB\xFC"},
                      KnownEncoding{"BecauseIsJis", U'∵', "\x81\xE6"},
                      KnownEncoding{"FullWidthNotIsJis", U'￢', "\x81\xCA"},
                      KnownEncoding{"HalfWidthKatakana", U'ｶ', "\xB6"},
                      KnownEncoding{"UserDefined", U'\uE001', "\xF0\x41"},
                      KnownEncoding{"YenSignIsBackslash", U'¥', "\x5C"},
                      KnownEncoding{"OverlineIsTilde", U'‾', "\x7E"},
                      KnownEncoding{"TagCharacterIsDropped", U'\U000E0041', ""},
                      KnownEncoding{"EmojiHasNone", U'😀', std::nullopt},
                      KnownEncoding{"HangulHasNone", U'한', std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvz
