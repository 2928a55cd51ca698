// The optimising encoder.
//
// The candidates come from the default path's phrases and from repeated
// pairing of frequent neighbours. Round by round every line is parsed into
// the fewest bytes, the phrases that do not pay for their line are dropped,
// the worst few first, and characters and phrases are ranked again by use.
// Then sweeps over the candidates drop or add single phrases wherever
// re-parsing the lines they stand in saves bytes, and swap a phrase for a
// longer or shorter relative where that costs nothing. A character whose
// uses the candidates cover is tried out of the one-byte codes, so that the
// most used two-byte character takes its code. Last, single phrases
// are inlined wherever that makes the exact stream smaller, and the
// cheapest few together where that raises the one-byte limit. The repeated
// pairs of the parse join the candidates and the search goes on while it
// gains.
//
// The work is counted in steps (see BestWork). The rounds that gain most
// for their steps come first: the drops, then the sweeps. A sweep or swap
// round, the pairing too, spends at most its own share, so that on a deck
// of many repeats the refreshes after it still get steps. After every round
// the search offers what it holds; the result is the smallest encoding
// offered before the steps ran out, so that a search stopped by its budget
// gives what it had reached, and a larger budget never gives less.
#include "compress/best.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "compress/best_rounds_internal.h"

namespace kvz {
namespace {

using detail::Chars;
using detail::Encoding;
using detail::Search;

constexpr int kCandidateRefreshes = 4;
constexpr int kMostParseRounds = 400;
constexpr int kSweeps = 5;
constexpr int kInlinePasses = 2;

// The smallest encoding offered so far, and the bytes of the smallest
// offered before the search got past its glance. An encoding found at the
// end of a refresh wins a tie against one offered within the rounds: where
// the search runs its course, its result is what the refreshes found.
struct Smallest {
    std::optional<Encoding> encoding;
    std::int64_t bytes = 0;
    bool refreshEnd = false;
    std::optional<std::int64_t> atGlance;
};

void offer(Smallest& smallest, const Encoding& encoding, std::int64_t bytes, bool refreshEnd, const BestWork& work) {
    if (!work.pastGlance && (!smallest.atGlance || bytes < *smallest.atGlance)) smallest.atGlance = bytes;
    const bool better = !smallest.encoding || bytes < smallest.bytes ||
                        (bytes == smallest.bytes && refreshEnd && !smallest.refreshEnd);
    if (!better) return;
    smallest.encoding = encoding;
    smallest.bytes = bytes;
    smallest.refreshEnd = refreshEnd;
}

// Offers the search's encoding as it stands after a round (its counts those
// of its lines).
void offerSearch(Search& search, Smallest& smallest) {
    search.work.spent += search.encoding.texts.size() + search.encoding.charUses.size() +
                         search.encoding.phraseUses.size();
    offer(smallest, search.encoding, detail::tallyStream(search.encoding, search.frame), false, search.work);
}

// Runs `round` until it changes nothing, at most `most` times, offering the
// search after each; false once the steps are spent (the round that spent
// them offers nothing).
template <class Round>
bool repeatOffering(Search& search, Smallest& smallest, int most, Round round) {
    for (int i = 0; i < most; ++i) {
        const bool changed = round();
        if (search.work.stopHere()) return false;
        offerSearch(search, smallest);
        if (!changed) break;
    }
    return true;
}

struct Found {
    Encoding encoding;
    std::int64_t bytes = 0;
};

constexpr int kMostLimitRaises = 2;

// Fewer phrases may raise the one-byte limit, so that one more character
// takes one byte; no single inlining gets there when several phrases stand
// above the raise. Inlines the phrases that cost least to inline, as many as
// the next raise takes, and keeps that where the exact stream shrinks.
void inlineToRaiseLimit(Search& search, Found& found) {
    for (int raise = 0; raise < kMostLimitRaises; ++raise) {
        Encoding trial = found.encoding;
        detail::StreamTally tally(trial, search.frame);
        const std::size_t used = tally.phraseCount();
        const std::uint8_t limit = detail::limitFor(search.frame, used);
        std::size_t fewer = 0;
        while (fewer < used && detail::limitFor(search.frame, used - fewer) <= limit) ++fewer;
        if (fewer == 0 || fewer == used) return;
        const std::vector<std::uint32_t> phrases = detail::usedPhrases(trial);
        // Each cost is two tallies, a step for every eight values they sum.
        search.work.spent += phrases.size() * ((trial.charUses.size() + trial.phraseUses.size()) / 4 + 1);
        if (search.work.stopHere()) return;
        std::vector<std::pair<std::int64_t, std::uint32_t>> costs;
        for (std::uint32_t p : phrases) costs.push_back({tally.inliningCost(p), p});
        std::sort(costs.begin(), costs.end());
        for (std::size_t i = 0; i < fewer; ++i) tally.inlinePhrase(costs[i].second);
        const std::int64_t bytes = tally.bytes();
        if (bytes >= found.bytes) return;
        found.encoding = std::move(trial);
        found.bytes = bytes;
    }
}

// One refresh: the candidates taken, the rounds, then the inlining of what
// they leave; what that found, or nothing once the steps are spent.
std::optional<Found> searchRefresh(Search& search, std::vector<Chars> candidates, Smallest& smallest) {
    detail::takeCandidates(search, std::move(candidates));
    if (search.work.stopHere()) return std::nullopt;
    offerSearch(search, smallest);
    if (!repeatOffering(search, smallest, kMostParseRounds, [&] { return detail::dropRound(search); }))
        return std::nullopt;
    const bool moved = repeatOffering(search, smallest, kSweeps, [&] {
        bool changed = detail::sweepRound(search);
        if (!changed && !search.work.stopHere()) changed = detail::swapRound(search);
        if (!search.work.stopHere()) detail::rerank(search);  // the moves keep costs, not counts
        return changed;
    });
    if (!moved) return std::nullopt;
    if (detail::freeCharRound(search)) {
        if (search.work.stopHere()) return std::nullopt;
        offerSearch(search, smallest);
    }
    Found found{search.encoding, 0};
    detail::StreamTally tally(found.encoding, search.frame);
    for (int pass = 0; pass < kInlinePasses; ++pass)
        if (!detail::inlineRound(search, found.encoding, tally)) break;
    if (search.work.stopHere()) return std::nullopt;
    found.bytes = tally.bytes();
    inlineToRaiseLimit(search, found);
    if (search.work.stopHere()) return std::nullopt;
    return found;
}

// The search from `candidates`, then from what each parse suggests while
// that gains, then once from the wider suggestions: what it offered before
// the steps ran out. The plain refreshes run as they would alone, so the
// wider one can only add to what they found.
Smallest searchBest(Search& search, std::vector<Chars> candidates) {
    Smallest smallest;
    std::int64_t refreshBytes = 0;
    detail::PairsTaken taken = detail::PairsTaken::paying;
    for (int refresh = 0;; ++refresh) {
        std::optional<Found> found = searchRefresh(search, std::move(candidates), smallest);
        if (!found) break;
        const bool gained = refresh == 0 || found->bytes < refreshBytes;
        if (gained) {
            refreshBytes = found->bytes;
            offer(smallest, found->encoding, found->bytes, true, search.work);
        }
        if (taken == detail::PairsTaken::nearlyPaying) break;
        if (!gained || refresh == kCandidateRefreshes) taken = detail::PairsTaken::nearlyPaying;
        candidates = detail::refreshedCandidates(search, taken);
        if (search.work.stopHere()) break;
    }
    return smallest;
}

}  // namespace

TextEncoding encodeBest(const TextEncoding& standard, const EncodingFrame& frame, BestWork& work) {
    auto standardBytes = measureStream(standard.codeLines, frame);
    if (!standardBytes) return standard;
    work.streamAtGlance = *standardBytes;
    auto depth = phraseNestingDepth(standard.codeLines, frame);
    if (!depth || *depth == 0 || standard.charTable.size() > frame.codesBefore) return standard;
    detail::Spelled spelled = detail::spellStandard(standard.codeLines, frame);
    std::vector<Chars> candidates = detail::gatherCandidates(spelled, work);
    if (work.stopHere()) return standard;
    Search search = detail::startSearch(std::move(spelled.texts), standard.charTable.size(), frame, *depth);
    search.work = work;
    const Smallest found = searchBest(search, std::move(candidates));
    work = search.work;
    if (found.atGlance && *found.atGlance < static_cast<std::int64_t>(*standardBytes))
        work.streamAtGlance = static_cast<std::size_t>(*found.atGlance);
    if (!found.encoding) return standard;
    TextEncoding best = detail::writeEncoding(*found.encoding, standard.charTable, frame);
    auto bestBytes = measureStream(best.codeLines, frame);
    if (!bestBytes || *bestBytes >= *standardBytes) return standard;
    if (!checkEncodingLimits(best, standard, frame)) return standard;
    return best;
}

TextEncoding encodeBest(const TextEncoding& standard, const EncodingFrame& frame) {
    BestWork work;
    return encodeBest(standard, frame, work);
}

}  // namespace kvz
