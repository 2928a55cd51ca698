// Internals of the optimising encoder: where its search stands, and the
// rounds that move it. Each round is a function of its own so that tests can
// take the search step by step; encodeBest runs them in one loop.
#pragma once

#include <cstdint>
#include <vector>

#include "compress/best.h"
#include "compress/best_parse_internal.h"
#include "compress/best_search_internal.h"
#include "compress/best_tally_internal.h"

namespace kvz::detail {

// The texts and the default path's phrases spelled out in characters.
struct Spelled {
    std::vector<Chars> texts;
    std::vector<Chars> phrases;  // by code - F
};

// `standard`'s lines spelled out. Its phrases must be acyclic (as
// phraseNestingDepth finds them).
Spelled spellStandard(const CodeLines& codeLines, const EncodingFrame& frame);

// The first candidates: the pairing candidates of the texts and the default
// phrases, distinct, of 2 to kLongestPhrase characters, shortest first (ties
// by their characters). The pairing's steps go to `work`; once it reaches
// its limit the pairing stops and the candidates are not all there.
std::vector<Chars> gatherCandidates(const Spelled& standard, BestWork& work);

// The search: the lines spelled out, the candidate phrases and where each
// stands, which of them are alive and how deeply they nest, the widths
// (bytes per code) of this round, what each line costs, the parse, and the
// steps spent. Every function below counts its steps in `work`. Once work
// reaches its limit, a round stops at its next move (what it leaves is then
// only fit to be thrown away); a sweep or swap round also stops once it has
// spent kMostRoundSteps, and then ends as if it had gone through every
// candidate.
struct Search {
    std::vector<Chars> texts;
    EncodingFrame frame;
    std::uint32_t depthLimit = 0;  // the deepest nesting the default path has
    std::vector<Chars> candidates;  // shortest first: a phrase holds only lower ids
    std::vector<MatchTable> textMatches;
    std::vector<MatchTable> phraseMatches;  // in each candidate, itself left out
    std::vector<bool> alive;
    std::vector<std::uint32_t> depth;
    std::vector<std::uint8_t> charWidth;
    std::vector<std::uint8_t> phraseWidth;
    std::vector<int> phraseCost;  // bytes of each candidate's line as last parsed
    std::vector<int> textCost;
    std::vector<std::vector<std::uint32_t>> linesWith;  // per candidate: lines it stands in (texts, then T + id)
    Encoding encoding;
    BestWork work;
    // Every move tried, none skipped for a bound that says it cannot pay: the
    // plain search, the oracle of the tests (the same results, slower).
    bool tryEveryMove = false;
    // Scratch, kept to spare the parses allocations.
    ParseTable table;
    Tokens scratchTokens;
};

// A search over `texts` (characters 0 .. charCount - 1), the characters'
// first widths those of their default ranking, no candidates yet.
Search startSearch(std::vector<Chars> texts, std::size_t charCount, const EncodingFrame& frame,
                   std::uint32_t depthLimit);

// Puts `candidates` (as gatherCandidates orders them) in place of the
// search's, every one alive, and parses every line.
void takeCandidates(Search& search, std::vector<Chars> candidates);

// Parses every alive candidate's line (shallow enough for the depth limit,
// from shorter phrases), then every text, and counts the uses.
void parseAll(Search& search);

// Widths from the ranks by use; true when any width changed.
bool rankWidths(Search& search);

// Re-ranking: widths from the counts, then every line parsed again, so that
// the counts are those of the lines.
void rerank(Search& search);

// A round of dropping: of the phrases that do not pay for their line, the
// worst share goes, then re-ranking. True when a phrase went or a width
// changed.
bool dropRound(Search& search);

// One pass over the candidates: each phrase in use is dropped, each other
// one added, when the lines it stands in, parsed again, and its own line
// cost fewer bytes in all (a drop also when they cost the same). The lines
// are re-parsed, not counted again. An addition that a bound shows cannot
// pay is not tried (unless search.tryEveryMove). True when anything changed.
bool sweepRound(Search& search);

// The most steps one sweep or swap round spends: in a deck whose phrases
// stand in very many lines they would take the budget of every later round.
inline constexpr std::uint64_t kMostRoundSteps = 50'000'000;

// Each phrase in use is swapped for a candidate that stands in it or that it
// stands in, when dropping the one and adding the other costs no bytes
// though neither move alone would pay. Not counted again, as sweepRound;
// candidates that a bound shows cannot be the one swapped in are not tried.
// True when anything changed.
bool swapRound(Search& search);

// Tries to take a character out of the one-byte codes: a character whose
// uses all stand in a few candidates (a level's letter before its digit,
// say) can be written inside phrases alone, and then the most used
// character of two bytes takes its one-byte code. No single phrase pays for
// that; together they may. For the few characters where the candidates that
// cover them leave fewer uses than the first two-byte character has, the
// candidates that hold the character are made alive and every line parsed
// with the character at two bytes, then the losing phrases dropped; the
// search keeps that where the exact stream shrinks, and is left as it was
// otherwise. True when it kept anything.
bool freeCharRound(Search& search);

// One pass of inlining over `found` (the search's encoding, or what earlier
// passes made of it), whose stream `tally` keeps: each phrase in use, the
// ones that save least first, is inlined where that shrinks the stream.
// True when any phrase was inlined.
bool inlineRound(Search& search, Encoding& found, StreamTally& tally);

// Which repeated pairs of neighbouring codes a refresh takes: those whose
// uses save more than their phrase line costs, length word included, or
// also those whose uses save at least the line's codes. These pay only
// beside other moves (in place of a relative, or once the one-byte limit
// moves), so a refresh takes them only after the plain ones.
enum class PairsTaken { paying, nearlyPaying };

// The phrases in use, and every pair of neighbouring codes in the parse
// that repeats often enough (as `taken` says), spelled out, ordered as
// gatherCandidates orders them.
std::vector<Chars> refreshedCandidates(Search& search, PairsTaken taken = PairsTaken::paying);

}  // namespace kvz::detail
