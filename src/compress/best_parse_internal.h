// Internals of the optimising encoder: the cost model of a parse and the
// parse of one line into the fewest stream bytes.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "compress/best_search_internal.h"

namespace kvz::detail {

// A parsed line: characters (below kPhraseToken) and phrases (kPhraseToken
// + candidate id).
using Tokens = std::vector<std::uint32_t>;
inline constexpr std::uint32_t kPhraseToken = 0x10000;

constexpr bool isPhrase(std::uint32_t token) { return token >= kPhraseToken; }
constexpr std::uint32_t phraseOf(std::uint32_t token) { return token - kPhraseToken; }
constexpr std::uint32_t phraseToken(std::uint32_t phrase) { return kPhraseToken + phrase; }

// What writing each code costs (1 or 2 bytes), and how often each phrase is
// written already, which settles ties.
struct ParseCosts {
    std::span<const std::uint8_t> charWidth;    // by character
    std::span<const std::uint8_t> phraseWidth;  // by candidate id
    std::span<const std::uint32_t> phraseUses;  // by candidate id
};

inline constexpr std::uint32_t kAnyDepth = std::numeric_limits<std::uint32_t>::max();

// The candidates (spelled out, by id) and which of them a parse may take:
// those alive and nested less deeply than `depthBelow`.
struct ParsePhrases {
    std::span<const Chars> spelled;
    const std::vector<bool>& alive;
    std::span<const std::uint32_t> depth;
    std::uint32_t depthBelow = kAnyDepth;

    bool usable(std::uint32_t phrase) const { return alive[phrase] && depth[phrase] < depthBelow; }
};

// The best parse of each suffix of a line: the first token it takes and
// what the whole suffix then comes to. Entry n (the empty suffix) is zero.
struct SuffixParse {
    int bytes = 0;
    int codes = 0;
    std::int64_t popularity = 0;  // the uses of the phrases it takes, summed
    std::uint32_t first = 0;
    std::uint32_t length = 0;  // characters the first token covers
};
using ParseTable = std::vector<SuffixParse>;

// The dynamic programme, from the end of `line` to its start: for each
// position, the best of writing its character or any usable phrase that
// `matches` lists there (matches must be the candidates' matches in `line`).
void fillParseTable(std::span<const std::uint16_t> line, const MatchTable& matches, const ParsePhrases& phrases,
                    const ParseCosts& costs, ParseTable& table);

// The parse that `table` (filled for a line) chooses, from the line's start.
void traceParse(const ParseTable& table, Tokens& out);

// The parse of `line` into the fewest bytes, written to `out`; returns its
// bytes. Among parses of equal bytes it prefers, in this order:
//   1. the most popular: the largest sum of phraseUses over its phrases;
//   2. the fewest codes;
//   3. at the first position where two parses part, the character over a
//      phrase and the shorter phrase over a longer one.
// `table` is scratch, kept by the caller so that many lines share it.
int parseLine(std::span<const std::uint16_t> line, const MatchTable& matches, const ParsePhrases& phrases,
              const ParseCosts& costs, ParseTable& table, Tokens& out);

struct ParsedLine {
    Tokens tokens;
    int bytes = 0;
};
// The same parse, with scratch of its own.
ParsedLine parseLine(std::span<const std::uint16_t> line, const MatchTable& matches, const ParsePhrases& phrases,
                     const ParseCosts& costs);

}  // namespace kvz::detail
