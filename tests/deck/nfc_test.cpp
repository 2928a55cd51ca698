// Combining marks composed as ICU's NFC composes them: every composite of
// Unicode from its decomposition, and random runs of bases and marks.
#include <gtest/gtest.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <random>
#include <string>
#include <vector>

#include "deck/nfc.h"
#include "deck/utf8.h"

namespace kvz {
namespace {

// ICU's normalisation of a UTF-8 text, as UTF-8.
std::string icuNormalised(const std::string& utf8, bool compose) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* normalizer = compose ? unorm2_getNFCInstance(&status) : unorm2_getNFDInstance(&status);
    std::vector<UChar> in(utf8.size() * 2 + 4), out(utf8.size() * 4 + 16);
    int32_t inLength = 0;
    u_strFromUTF8(in.data(), static_cast<int32_t>(in.size()), &inLength, utf8.data(), static_cast<int32_t>(utf8.size()),
                  &status);
    const int32_t outLength = unorm2_normalize(normalizer, in.data(), inLength, out.data(),
                                               static_cast<int32_t>(out.size()), &status);
    std::string result(static_cast<std::size_t>(outLength) * 3 + 4, '\0');
    int32_t resultLength = 0;
    u_strToUTF8(result.data(), static_cast<int32_t>(result.size()), &resultLength, out.data(), outLength, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    result.resize(static_cast<std::size_t>(resultLength));
    return result;
}

std::string utf8Of(char32_t c) {
    std::string text;
    appendUtf8(text, c);
    return text;
}

TEST(CombiningMarks, EveryCompositeIsComposedFromItsDecomposition) {
    std::size_t composites = 0;
    for (char32_t c = 0xA0; c < 0x110000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const std::string character = utf8Of(c);
        const std::string decomposed = icuNormalised(character, false);
        if (decomposed == character || icuNormalised(character, true) != character) continue;
        ++composites;
        ASSERT_EQ(composeCombiningMarks(decomposed), character) << std::hex << static_cast<unsigned>(c);
    }
    EXPECT_GT(composites, 12000u);  // the 11172 Hangul syllables and about 940 others
}

TEST(CombiningMarks, RandomRunsAreComposedAsNfcComposesThem) {
    // Bases that NFC keeps as they are, and marks that combine with some of them.
    const std::vector<char32_t> bases{U'a', U'e', U'o', U'u', U'A', U'か', U'は', U'ウ', U'カ', U'ヒ', U'ゝ', U'ヽ', U'犬',
                                      U'é', U'ö', U'Ω', U'α', U'ω', U'с', 0x1100, 0x1112, 0xAC00, 0xAC01, U'ṩ', U' '};
    const std::vector<char32_t> marks{0x3099, 0x309A, 0x0300, 0x0301, 0x0302, 0x0304, 0x0307, 0x0308, 0x0316,
                                      0x0323, 0x0328, 0x0345, 0x0313, 0x1161, 0x1175, 0x11A8, 0x11C2, 0x05B0};
    std::mt19937 random(25);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (std::size_t n = random() % 6; n > 0; --n) {
            appendUtf8(text, bases[random() % bases.size()]);
            for (std::size_t m = random() % 4; m > 0; --m) appendUtf8(text, marks[random() % marks.size()]);
        }
        ASSERT_EQ(composeCombiningMarks(text), icuNormalised(text, true)) << text;
    }
}

TEST(CombiningMarks, KeepWhatNfcAloneWouldReplaceAndBytesThatAreNoUtf8) {
    const std::string compatibility = utf8Of(0xF929) + "x" + utf8Of(0x2126);  // 朗 of CP932's own code, the ohm sign
    EXPECT_NE(icuNormalised(compatibility, true), compatibility);
    EXPECT_EQ(composeCombiningMarks(compatibility), compatibility);
    EXPECT_EQ(composeCombiningMarks("\xFF" "か\u3099\x80"), "\xFF" "が\x80");
}

}  // namespace
}  // namespace kvz
