#include <gtest/gtest.h>

#include <random>

#include "compress/compress.h"
#include "compress/lines.h"
#include "reference/phrases_reference.h"

namespace kvz {
namespace {

using Codes = std::vector<std::uint16_t>;

using testing::codeLinesOf;

// Both implementations, checked against each other and against `expected`.
void expectPhrases(const std::vector<Codes>& before, std::uint16_t codesBefore,
                   const std::vector<Codes>& expected) {
    CodeLines fast = codeLinesOf(before), plain = codeLinesOf(before);
    substitutePhrases(fast, codesBefore);
    reference::substitutePhrases(plain, codesBefore);
    EXPECT_EQ(fast, codeLinesOf(expected));
    EXPECT_EQ(plain, codeLinesOf(expected));
}

TEST(Phrases, WorkedExample) {
    expectPhrases({{1, 2, 3, 4, 5}, {9, 1, 2, 3, 4, 8}, {1, 2, 3, 4}}, 10,
                  {{10, 5}, {9, 10, 8}, {10}, {1, 2, 3, 4}});
}

TEST(Phrases, StreamWorkedExampleRefusesThenMakesTwoPhrases) {
    std::vector<Codes> lines(8, Codes{0});
    const std::vector<Codes> entry = {{1, 2, 3, 4, 0}, {9, 1, 2, 3, 4, 0}, {1, 2, 3, 4},
                                      {5, 6, 7, 8},    {0, 5, 6, 7, 8},    {5, 6, 7, 8}};
    lines.insert(lines.end(), entry.begin(), entry.end());
    std::vector<Codes> expected(8, Codes{0});
    const std::vector<Codes> after = {{10, 0}, {9, 10, 0}, {10}, {11}, {0, 11}, {11},
                                      {1, 2, 3, 4}, {5, 6, 7, 8}};
    expected.insert(expected.end(), after.begin(), after.end());
    expectPhrases(lines, 10, expected);
}

TEST(Phrases, EmptyCodeLinesPrintEveryStage) {
    CodeLines lines{0};
    std::vector<int> stages;
    substitutePhrases(lines, 0, [&](int stage) { stages.push_back(stage); });
    EXPECT_EQ(lines, CodeLines{0});
    ASSERT_EQ(stages.size(), 115u);
    EXPECT_EQ(stages.front(), 114);
    EXPECT_EQ(stages.back(), 0);
    for (std::size_t i = 1; i < stages.size(); ++i) EXPECT_EQ(stages[i], stages[i - 1] - 1);
}

TEST(Phrases, OccurrencesDoNotOverlap) {
    // Five equal codes hold the pair twice, not four times. With F = 3000 the
    // code 2999 costs 2, so the pair costs 4 and needs 3 occurrences.
    expectPhrases({{2999, 2999, 2999, 2999, 2999}}, 3000, {{2999, 2999, 2999, 2999, 2999}});
    // Six hold the triple (cost 6) twice, which pays.
    expectPhrases({{2999, 2999, 2999, 2999, 2999, 2999}}, 3000,
                  {{3000, 3000}, {2999, 2999, 2999}});
}

TEST(Phrases, CostThreeNeedsFiveOccurrences) {
    const Codes abc = {1, 2, 3};
    std::vector<Codes> four(4, abc), five(5, abc);
    expectPhrases(four, 10, four);
    std::vector<Codes> replaced(5, Codes{10});
    replaced.push_back(abc);
    expectPhrases(five, 10, replaced);
}

TEST(Phrases, CheapPairsAreNeverPhrases) {
    std::vector<Codes> lines(50, Codes{1, 2});
    expectPhrases(lines, 10, lines);
}

TEST(Phrases, TwoByteCodesMakeShortPhrasesPay) {
    // With F = 3000 the limit is 105: 3 and 104 cost 1, 105 and 2999 cost 2.
    const Codes s = {3, 104, 105, 2999};  // cost 6: two occurrences pay
    expectPhrases({s, s}, 3000, {{3000}, {3000}, s});
    const Codes cheap = {3, 104};  // cost 2
    expectPhrases({cheap, cheap, cheap}, 3000, {cheap, cheap, cheap});
}

TEST(Phrases, PhraseCodesCostOneBelowTheLimit) {
    // F = 10: limit 128; phrase codes 10.. cost 1, so pairs of them are
    // refused like any cheap pair, while longer runs nest.
    const Codes a = {1, 2, 3, 4, 5, 6};
    expectPhrases({a, a, a}, 10, {{10}, {10}, {10}, a});
}

TEST(Phrases, SequencesInsidePhraseLinesAreReplacedToo) {
    // The long sequence becomes phrase 10; its inner part 5 6 7 also stands
    // in four other lines, five times in all with the phrase line, and is
    // replaced inside the phrase line as well.
    const Codes longer = {1, 2, 5, 6, 7, 3, 4};
    CodeLines fast = codeLinesOf(
        {longer, longer, {9, 5, 6, 7, 8}, {8, 5, 6, 7, 9}, {0, 5, 6, 7, 0}, {9, 5, 6, 7, 0}});
    CodeLines plain = fast;
    substitutePhrases(fast, 10);
    reference::substitutePhrases(plain, 10);
    EXPECT_EQ(fast, plain);
    EXPECT_EQ(getLines16(fast), 8u);
    EXPECT_EQ(fast, codeLinesOf({{10}, {10}, {9, 11, 8}, {8, 11, 9}, {0, 11, 0}, {9, 11, 0},
                                 {1, 2, 11, 3, 4}, {5, 6, 7}}));
}

// Random code lines with heavy repetition: nested motifs from a small
// alphabet, lines of 1 to 116 codes, and a largest code that puts the
// one-byte limit on either side of its steps.
struct Generator {
    std::mt19937 random;

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    Codes motif(const Codes& alphabet, const std::vector<Codes>& motifs) {
        Codes result;
        const int parts = between(1, 6);
        for (int i = 0; i < parts; ++i) {
            if (!motifs.empty() && between(0, 2) == 0) {
                const Codes& inner = motifs[static_cast<std::size_t>(between(0, static_cast<int>(motifs.size()) - 1))];
                result.insert(result.end(), inner.begin(), inner.end());
            } else {
                result.push_back(alphabet[static_cast<std::size_t>(between(0, static_cast<int>(alphabet.size()) - 1))]);
            }
        }
        return result;
    }

    std::pair<CodeLines, std::uint16_t> codeLines(int maxLines, int maxLength) {
        static const int steps[] = {8, 60, 128, 129, 130, 254, 255, 256, 1000, 3000, 16000};
        const int largestCode = steps[between(0, std::size(steps) - 1)] + between(-2, 2);
        Codes alphabet;
        const int letters = between(2, 8);
        for (int i = 0; i < letters; ++i)
            alphabet.push_back(static_cast<std::uint16_t>(between(i % 2 ? 0 : std::max(0, largestCode - 200), std::max(1, largestCode - 1))));
        std::vector<Codes> motifs;
        for (int i = between(1, 8); i > 0; --i) motifs.push_back(motif(alphabet, motifs));
        std::vector<Codes> lines;
        for (int i = between(1, maxLines); i > 0; --i) {
            const int length = between(0, 3) == 0 ? between(1, maxLength) : between(1, std::min(12, maxLength));
            Codes line;
            while (static_cast<int>(line.size()) < length) {
                const Codes piece = between(0, 3) ? motifs[static_cast<std::size_t>(between(0, static_cast<int>(motifs.size()) - 1))]
                                                  : Codes{alphabet[0]};
                line.insert(line.end(), piece.begin(), piece.end());
            }
            line.resize(static_cast<std::size_t>(length));
            lines.push_back(line);
        }
        lines[0].push_back(static_cast<std::uint16_t>(largestCode));  // fixes F
        if (lines[0].size() > 116) lines[0].erase(lines[0].begin());
        CodeLines flat = codeLinesOf(lines);
        return {flat, static_cast<std::uint16_t>(getCodes16(flat))};
    }
};

// Returns the number of phrases made.
std::uint32_t expectSameAsReference(const CodeLines& lines, std::uint16_t codesBefore,
                                    const std::string& what) {
    CodeLines fast = lines, plain = lines;
    substitutePhrases(fast, codesBefore);
    reference::substitutePhrases(plain, codesBefore);
    EXPECT_EQ(fast, plain) << what;
    return getLines16(fast) - getLines16(lines);
}

TEST(PhrasesProperty, SmallInputsMatchThePlainWalk) {
    Generator generate{std::mt19937(20261208)};
    int withPhrases = 0, withMany = 0;
    for (int round = 0; round < 3000; ++round) {
        auto [lines, codesBefore] = generate.codeLines(10, 40);
        const auto phrases = expectSameAsReference(lines, codesBefore, "round " + std::to_string(round));
        if (HasFailure()) return;
        withPhrases += phrases > 0;
        withMany += phrases > 3;
    }
    // The generator must exercise the replacement, not only the refusal.
    EXPECT_GT(withPhrases, 1500);
    EXPECT_GT(withMany, 300);
}

TEST(PhrasesProperty, LongLinesMatchThePlainWalk) {
    Generator generate{std::mt19937(116)};
    for (int round = 0; round < 150; ++round) {
        auto [lines, codesBefore] = generate.codeLines(24, 116);
        expectSameAsReference(lines, codesBefore, "round " + std::to_string(round));
        if (HasFailure()) return;
    }
}

TEST(PhrasesProperty, RepeatedLongestLines) {
    // Lines of exactly 116 codes repeated: the first stage takes them whole.
    Generator generate{std::mt19937(7)};
    for (int round = 0; round < 40; ++round) {
        Codes line;
        for (int i = 0; i < 116; ++i) line.push_back(static_cast<std::uint16_t>(generate.between(0, 3)));
        std::vector<Codes> lines{line, line};
        if (round % 2) lines.push_back(Codes(line.begin() + 3, line.end()));
        const CodeLines flat = codeLinesOf(lines);
        EXPECT_GT(expectSameAsReference(flat, static_cast<std::uint16_t>(getCodes16(flat)),
                                        "round " + std::to_string(round)),
                  0u);
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// Phrase codes are 16 bits wide: from F = 65530 on, the seventh phrase wraps
// to code 0, which the lines already use. The search must stay exact then.
TEST(PhrasesProperty, PhraseCodesWrappingAround) {
    Generator generate{std::mt19937(65536)};
    int wrapped = 0;
    for (int round = 0; round < 60; ++round) {
        auto [lines, codesBefore] = generate.codeLines(24, 60);
        // Move every code up to just below 65530, keeping their differences.
        CodeLines shifted = lines;
        for (std::size_t at = 0; at < shifted.size() && shifted[at] != 0; at += shifted[at] + 1u)
            for (std::size_t i = at + 1; i <= at + shifted[at]; ++i)
                shifted[i] = static_cast<std::uint16_t>(65529 - (codesBefore - 1 - shifted[i]) % 64);
        wrapped += expectSameAsReference(shifted, 65530, "round " + std::to_string(round)) > 6;
        if (HasFailure()) return;
    }
    EXPECT_GT(wrapped, 10);
}

}  // namespace
}  // namespace kvz
