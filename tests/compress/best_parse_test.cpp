// The optimising encoder's parse of one line: fewest bytes, and among parses
// of equal bytes the one its contract names. Small cases show each rule; an
// exhaustive search over every parse of short random lines, picking by the
// stated rule, checks it everywhere else.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

#include "compress/best_parse_internal.h"

namespace kvz::detail {
namespace {

// Lines and phrases written as letters: 'a' is character 0.
Chars chars(const std::string& letters) {
    Chars out;
    for (char c : letters) out.push_back(static_cast<std::uint16_t>(c - 'a'));
    return out;
}

struct Vocabulary {
    std::vector<Chars> phrases;
    std::vector<std::uint8_t> charWidth;
    std::vector<std::uint8_t> phraseWidth;
    std::vector<std::uint32_t> phraseUses;
    std::vector<bool> alive;
    std::vector<std::uint32_t> depth;
    std::uint32_t depthBelow = kAnyDepth;
};

ParsedLine parseWith(const Vocabulary& v, const Chars& line) {
    const PhraseTrie trie(v.phrases);
    return parseLine(line, trie.matchAll(line), {v.phrases, v.alive, v.depth, v.depthBelow},
                     {v.charWidth, v.phraseWidth, v.phraseUses});
}

// Tokens written as letters, phrases in brackets: "a[bc]".
std::string show(const Vocabulary& v, const Tokens& tokens) {
    std::string out;
    for (std::uint32_t token : tokens) {
        if (!isPhrase(token)) {
            out += static_cast<char>('a' + token);
            continue;
        }
        out += '[';
        for (std::uint16_t c : v.phrases[phraseOf(token)]) out += static_cast<char>('a' + c);
        out += ']';
    }
    return out;
}

struct GivenPhrase {
    const char* letters;
    std::uint8_t width;
    std::uint32_t uses;
    bool alive = true;
    std::uint32_t depth = 1;
};

struct TieCase {
    const char* name;
    const char* line;
    std::vector<GivenPhrase> phrases;
    int bytes;
    const char* parse;
    std::uint32_t depthBelow = kAnyDepth;
};

Vocabulary vocabularyOf(const std::vector<GivenPhrase>& given) {
    Vocabulary v;
    v.charWidth.assign(26, 1);
    for (const GivenPhrase& phrase : given) {
        v.phrases.push_back(chars(phrase.letters));
        v.phraseWidth.push_back(phrase.width);
        v.phraseUses.push_back(phrase.uses);
        v.alive.push_back(phrase.alive);
        v.depth.push_back(phrase.depth);
    }
    return v;
}

class ParseRules : public ::testing::TestWithParam<TieCase> {};

TEST_P(ParseRules, ChoosesAsItsContractSays) {
    const TieCase& c = GetParam();
    Vocabulary v = vocabularyOf(c.phrases);
    v.depthBelow = c.depthBelow;
    const ParsedLine parsed = parseWith(v, chars(c.line));
    EXPECT_EQ(show(v, parsed.tokens), c.parse);
    EXPECT_EQ(parsed.bytes, c.bytes);
}

// Characters cost one byte each throughout.
const TieCase kTieCases[] = {
    {"FewestBytesBeforePopularity", "abab", {{"ab", 1, 0}, {"ba", 1, 100}}, 2, "[ab][ab]"},
    {"MostPopularOnEqualBytes", "abc", {{"ab", 1, 3}, {"bc", 1, 7}}, 2, "a[bc]"},
    {"MostPopularBeforeFewestCodes", "abc", {{"abc", 2, 0}, {"bc", 1, 5}}, 2, "a[bc]"},
    {"FewestCodesOnEqualPopularity", "ab", {{"ab", 2, 0}}, 2, "[ab]"},
    {"CharacterBeforePhraseWhenAllElseTies", "abc", {{"ab", 1, 5}, {"bc", 1, 5}}, 2, "a[bc]"},
    {"ShorterPhraseBeforeLongerWhenAllElseTies", "abcd", {{"abc", 1, 0}, {"ab", 1, 0}, {"cd", 1, 0}}, 2,
     "[ab][cd]"},
    {"DeadPhrasesUnused", "abab", {{"ab", 1, 0, false}}, 4, "abab"},
    {"PhrasesTooDeepUnused", "abab", {{"ab", 1, 0, true, 2}, {"ba", 1, 0, true, 1}}, 3, "a[ba]b", 2},
};

INSTANTIATE_TEST_SUITE_P(TieBreak, ParseRules, ::testing::ValuesIn(kTieCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every parse of `line` from position `at`, by the stated rule: fewest
// bytes, most uses, fewest codes, then at the first difference the
// character, then the shorter phrase. Returns the rule's key and the parse.
using RuleKey = std::tuple<int, std::int64_t, int, std::vector<std::size_t>>;

std::pair<RuleKey, Tokens> bestByRule(const Vocabulary& v, const Chars& line, std::size_t at) {
    if (at == line.size()) return {RuleKey{0, 0, 0, {}}, {}};
    std::pair<RuleKey, Tokens> best;
    bool found = false;
    auto consider = [&](std::uint32_t token, std::size_t length, int width, std::int64_t uses) {
        auto [key, tokens] = bestByRule(v, line, at + length);
        auto& [bytes, negativeUses, codes, choices] = key;
        bytes += width;
        negativeUses -= uses;
        codes += 1;
        choices.insert(choices.begin(), isPhrase(token) ? length : 0);
        tokens.insert(tokens.begin(), token);
        if (!found || key < best.first) best = {key, tokens};
        found = true;
    };
    consider(line[at], 1, v.charWidth[line[at]], 0);
    for (std::uint32_t p = 0; p < v.phrases.size(); ++p) {
        const Chars& phrase = v.phrases[p];
        if (!v.alive[p] || v.depth[p] >= v.depthBelow || at + phrase.size() > line.size()) continue;
        if (!std::equal(phrase.begin(), phrase.end(), line.begin() + static_cast<std::ptrdiff_t>(at))) continue;
        consider(phraseToken(p), phrase.size(), v.phraseWidth[p], v.phraseUses[p]);
    }
    return best;
}

TEST(ParseProperty, MatchesEveryParseSearchedByTheStatedRule) {
    std::mt19937 random(7);
    auto below = [&](unsigned n) { return random() % n; };
    for (int round = 0; round < 400; ++round) {
        Vocabulary v;
        const unsigned alphabet = 2 + below(3);
        for (unsigned c = 0; c < alphabet; ++c) v.charWidth.push_back(static_cast<std::uint8_t>(1 + below(2)));
        const unsigned phraseCount = below(7);
        while (v.phrases.size() < phraseCount) {
            Chars phrase(2 + below(3));
            for (auto& c : phrase) c = static_cast<std::uint16_t>(below(alphabet));
            if (std::find(v.phrases.begin(), v.phrases.end(), phrase) != v.phrases.end()) continue;
            v.phrases.push_back(phrase);
            v.phraseWidth.push_back(static_cast<std::uint8_t>(1 + below(2)));
            v.phraseUses.push_back(below(3));
            v.alive.push_back(below(5) != 0);
            v.depth.push_back(1 + below(3));
        }
        v.depthBelow = below(2) == 0 ? kAnyDepth : 1 + below(3);
        Chars line(1 + below(10));
        for (auto& c : line) c = static_cast<std::uint16_t>(below(alphabet));

        const auto [key, expected] = bestByRule(v, line, 0);
        const ParsedLine parsed = parseWith(v, line);
        EXPECT_EQ(show(v, parsed.tokens), show(v, expected)) << "round " << round;
        EXPECT_EQ(parsed.bytes, std::get<0>(key)) << "round " << round;
    }
}

}  // namespace
}  // namespace kvz::detail
