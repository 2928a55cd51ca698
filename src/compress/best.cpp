// The optimising encoder.
//
// The candidates come from the default path's phrases and from repeated
// pairing of frequent neighbours. Round by round every line is parsed into
// the fewest bytes, the phrases that do not pay for their line are dropped,
// the worst few first, and characters and phrases are ranked again by use.
// Then sweeps over the candidates drop or add single phrases wherever
// re-parsing the lines they stand in saves bytes, and swap a phrase for a
// longer or shorter relative where that costs nothing. Last, single phrases
// are inlined wherever that makes the exact stream smaller. The repeated
// pairs of the parse join the candidates and the search goes on while it
// gains.
#include "compress/best.h"

#include "compress/best_rounds.h"

namespace kvz {
namespace {

using detail::Chars;
using detail::Encoding;
using detail::Search;

constexpr int kCandidateRefreshes = 4;
constexpr int kMostParseRounds = 400;
constexpr int kSweeps = 5;
constexpr int kInlinePasses = 2;

// Runs `round` until it changes nothing, at most `most` times.
template <class Round>
void repeatWhileChanging(int most, Round round) {
    for (int i = 0; i < most; ++i)
        if (!round()) break;
}

// The search from `candidates`, then from what each parse suggests while
// that gains: the best encoding found.
Encoding searchBest(Search& search, std::vector<Chars> candidates) {
    Encoding best;
    std::int64_t bestBytes = 0;
    for (int refresh = 0; refresh <= kCandidateRefreshes; ++refresh) {
        detail::takeCandidates(search, std::move(candidates));
        repeatWhileChanging(kMostParseRounds, [&] { return detail::dropRound(search); });
        repeatWhileChanging(kSweeps, [&] {
            const bool moved = detail::sweepRound(search) || detail::swapRound(search);
            detail::rerank(search);  // the moves keep costs, not counts
            return moved;
        });
        Encoding found = search.encoding;
        detail::StreamTally tally(found, search.frame);
        repeatWhileChanging(kInlinePasses, [&] { return detail::inlineRound(search, found, tally); });
        const std::int64_t bytes = tally.bytes();
        if (refresh > 0 && bytes >= bestBytes) break;
        best = std::move(found);
        bestBytes = bytes;
        candidates = detail::refreshedCandidates(search);
    }
    return best;
}

}  // namespace

TextEncoding encodeBest(const TextEncoding& standard, const EncodingFrame& frame) {
    auto depth = phraseNestingDepth(standard.codeLines, frame);
    if (!depth || *depth == 0) return standard;
    auto standardBytes = measureStream(standard.codeLines, frame);
    if (!standardBytes || standard.charTable.size() > frame.codesBefore) return standard;
    detail::Spelled spelled = detail::spellStandard(standard.codeLines, frame);
    std::vector<Chars> candidates = detail::gatherCandidates(spelled);
    Search search = detail::startSearch(std::move(spelled.texts), standard.charTable.size(), frame, *depth);
    TextEncoding best = detail::writeEncoding(searchBest(search, std::move(candidates)), standard.charTable, frame);
    auto bestBytes = measureStream(best.codeLines, frame);
    if (!bestBytes || *bestBytes >= *standardBytes) return standard;
    if (!checkEncodingLimits(best, standard, frame)) return standard;
    return best;
}

}  // namespace kvz
