// The parse of one line into the fewest stream bytes.
#include "compress/best_parse.h"

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
    table[n] = SuffixParse{};
    for (std::size_t i = n; i-- > 0;) {
        const SuffixParse& rest = table[i + 1];
        SuffixParse best{costs.charWidth[line[i]] + rest.bytes, rest.codes + 1, rest.popularity, line[i]};
        for (std::uint32_t k = matches.start[i]; k < matches.start[i + 1]; ++k) {
            const std::uint32_t p = matches.ids[k];
            if (!phrases.usable(p)) continue;
            const SuffixParse& after = table[i + phrases.spelled[p].size()];
            const SuffixParse taken{costs.phraseWidth[p] + after.bytes, after.codes + 1,
                                    after.popularity + costs.phraseUses[p], phraseToken(p)};
            if (better(taken, best)) best = taken;
        }
        table[i] = best;
    }
}

void traceParse(const ParseTable& table, std::span<const Chars> spelled, Tokens& out) {
    out.clear();
    const std::size_t n = table.size() - 1;
    for (std::size_t i = 0; i < n;) {
        const std::uint32_t token = table[i].first;
        out.push_back(token);
        i += isPhrase(token) ? spelled[phraseOf(token)].size() : 1;
    }
}

int parseLine(std::span<const std::uint16_t> line, const MatchTable& matches, const ParsePhrases& phrases,
              const ParseCosts& costs, ParseTable& table, Tokens& out) {
    fillParseTable(line, matches, phrases, costs, table);
    traceParse(table, phrases.spelled, out);
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
