// The parse of one line into the fewest stream bytes.
#include "compress/best_parse_internal.h"

namespace kvz::detail {
namespace {

// True when `a` is the better suffix parse by the tie-break order.
bool better(const SuffixParse& a, const SuffixParse& b) {
    if (a.bytes != b.bytes) return a.bytes < b.bytes;
    if (a.popularity != b.popularity) return a.popularity > b.popularity;
    return a.codes < b.codes;
}

}  // namespace

void fillParseTable(std::span<const std::uint16_t> line, const MatchTable& matches, const ParsePhrases& phrases,
                    const ParseCosts& costs, ParseTable& table) {
    const std::size_t n = line.size();
    table.resize(n + 1);  // every entry but the last is written below
    // Plain pointers: the compiler cannot tell that writing the table leaves
    // the costs and matches alone, and would load them again for every match.
    SuffixParse* const cells = table.data();
    const std::uint32_t* const start = matches.start.data();
    const std::uint32_t* const ids = matches.ids.data();
    const std::uint8_t* const lengths = matches.lengths.data();
    const std::uint32_t* const depth = phrases.depth.data();
    const std::uint32_t depthBelow = phrases.depthBelow;
    const std::vector<bool>& alive = phrases.alive;
    const std::uint8_t* const charWidth = costs.charWidth.data();
    const std::uint8_t* const phraseWidth = costs.phraseWidth.data();
    const std::uint32_t* const phraseUses = costs.phraseUses.data();
    cells[n] = SuffixParse{};
    for (std::size_t i = n; i-- > 0;) {
        const SuffixParse& rest = cells[i + 1];
        SuffixParse best{charWidth[line[i]] + rest.bytes, rest.codes + 1, rest.popularity, line[i], 1};
        for (std::uint32_t k = start[i]; k < start[i + 1]; ++k) {
            const std::uint32_t p = ids[k];
            if (!alive[p] || depth[p] >= depthBelow) continue;
            const std::uint32_t length = lengths[k];
            const SuffixParse& after = cells[i + length];
            const SuffixParse taken{phraseWidth[p] + after.bytes, after.codes + 1, after.popularity + phraseUses[p],
                                    phraseToken(p), length};
            if (better(taken, best)) best = taken;
        }
        cells[i] = best;
    }
}

void traceParse(const ParseTable& table, Tokens& out) {
    out.clear();
    const std::size_t n = table.size() - 1;
    for (std::size_t i = 0; i < n; i += table[i].length) out.push_back(table[i].first);
}

int parseLine(std::span<const std::uint16_t> line, const MatchTable& matches, const ParsePhrases& phrases,
              const ParseCosts& costs, ParseTable& table, Tokens& out) {
    fillParseTable(line, matches, phrases, costs, table);
    traceParse(table, out);
    return table[0].bytes;
}

ParsedLine parseLine(std::span<const std::uint16_t> line, const MatchTable& matches, const ParsePhrases& phrases,
                     const ParseCosts& costs) {
    ParseTable table;
    ParsedLine parsed;
    parsed.bytes = parseLine(line, matches, phrases, costs, table, parsed.tokens);
    return parsed;
}

}  // namespace kvz::detail
