// The optimising encoder's search and its rounds.
//
// Phrases are handled as the character sequences they spell. Every phrase
// line (shortest phrase first, so that a phrase holds only shorter ones and
// no cycle can form, and only phrases shallow enough to keep the default's
// nesting depth) and every text line is parsed into the fewest bytes with
// the widths of the round; characters and phrases are then ranked by how
// often they are written, which gives the widths of the next round.
#include "compress/best_rounds_internal.h"

#include <algorithm>
#include <numeric>

#include "common/layout.h"
#include "compress/best_internal.h"

namespace kvz::detail {
namespace {

constexpr std::size_t kDroppedShare = 10;  // percent of the losing phrases dropped per round
constexpr std::size_t kFewestDropped = 2;
constexpr std::uint32_t kNoCandidate = 0xFFFFFFFFu;
// A tally goes through its values in order, far faster than a parse goes
// through its positions and matches.
constexpr std::uint64_t kTallyValuesPerStep = 8;

bool shorterFirst(const Chars& a, const Chars& b) { return a.size() != b.size() ? a.size() < b.size() : a < b; }

void sortDistinct(std::vector<Chars>& candidates) {
    std::sort(candidates.begin(), candidates.end(), shorterFirst);
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
}

ParseCosts costsOf(const Search& s) { return {s.charWidth, s.phraseWidth, s.encoding.phraseUses}; }

ParsePhrases phrasesBelow(const Search& s, std::uint32_t depthBelow) {
    return {s.candidates, s.alive, s.depth, depthBelow};
}

// Every parse of the search: its steps are the line's positions and the
// matches the parse weighs.
int parseCounted(Search& s, std::span<const std::uint16_t> line, const MatchTable& matches, std::uint32_t depthBelow,
                 Tokens& out) {
    s.work.spent += line.size() + matches.ids.size();
    return parseLine(line, matches, phrasesBelow(s, depthBelow), costsOf(s), s.table, out);
}

int parseText(Search& s, std::size_t t, Tokens& out) {
    return parseCounted(s, s.texts[t], s.textMatches[t], kAnyDepth, out);
}

// Parses phrase p's line from shorter phrases shallow enough for the
// nesting limit, and sets its depth; returns its cost.
int parsePhraseLine(Search& s, std::uint32_t p, Tokens& out) {
    s.phraseCost[p] = parseCounted(s, s.candidates[p], s.phraseMatches[p], s.depthLimit, out);
    std::uint32_t deepest = 0;
    for (std::uint32_t token : out)
        if (isPhrase(token)) deepest = std::max(deepest, s.depth[phraseOf(token)]);
    s.depth[p] = deepest + 1;
    return s.phraseCost[p];
}

// A phrase pays when its uses save more than its line costs. Of those that
// do not, the worst share goes each round, so that the uses of the dropped
// ones can move to the others before those are judged.
bool dropLosingPhrases(Search& s) {
    const std::uint8_t limit = limitFor(s.frame, usedPhrases(s.encoding).size());
    std::vector<std::pair<std::int64_t, std::uint32_t>> losing;
    for (std::size_t p = 0; p < s.candidates.size(); ++p) {
        const std::int64_t uses = s.encoding.phraseUses[p];
        if (!s.alive[p] || uses == 0) continue;
        const std::int64_t line = s.phraseCost[p];
        const std::int64_t saving =
            uses * (line - s.phraseWidth[p]) -
            (line + widthOf(static_cast<std::uint32_t>(s.encoding.phrases[p].size()), limit));
        if (saving <= 0) losing.push_back({saving, static_cast<std::uint32_t>(p)});
    }
    std::sort(losing.begin(), losing.end());
    const std::size_t dropping =
        std::min(losing.size(), std::max<std::size_t>(kFewestDropped, losing.size() * kDroppedShare / 100));
    for (std::size_t i = 0; i < dropping; ++i) s.alive[losing[i].second] = false;
    return dropping > 0;
}

// What a round of moves weighs them against: the phrases in use (kept up to
// date by the moves) and the characters' uses by rank (as last counted).
struct MoveBase {
    std::size_t usedCount = 0;
    std::vector<std::uint32_t> charUsesByRank;
};

MoveBase startMoves(const Search& s) {
    MoveBase base{usedPhrases(s.encoding).size(), s.encoding.charUses};
    std::sort(base.charUsesByRank.begin(), base.charUsesByRank.end(), std::greater<>());
    return base;
}

// One more phrase may lower the one-byte limit, one fewer raise it: the
// character at the limit's rank changes its width.
std::int64_t limitShift(const Search& s, const MoveBase& base, bool adding) {
    const std::uint8_t now = limitFor(s.frame, base.usedCount);
    const std::uint8_t then = limitFor(s.frame, adding ? base.usedCount + 1 : base.usedCount - 1);
    auto usesAt = [&](std::size_t rank) -> std::int64_t {
        return rank < base.charUsesByRank.size() ? base.charUsesByRank[rank] : 0;
    };
    if (then < now) return usesAt(then);
    if (then > now) return -usesAt(now);
    return 0;
}

// Bytes that adding or dropping phrase p changes, the widths kept; with
// `commit` the move is made.
std::int64_t moveDelta(Search& s, MoveBase& base, std::uint32_t p, bool adding, bool commit) {
    s.alive[p] = adding;
    std::int64_t delta = limitShift(s, base, adding);
    if (adding) {
        delta += parsePhraseLine(s, p, s.encoding.phrases[p]) + 1;
    } else {
        delta -= s.phraseCost[p] + 1;
    }
    const std::size_t textCount = s.texts.size();
    for (std::uint32_t line : s.linesWith[p]) {
        if (line < textCount) {
            const int cost = parseText(s, line, commit ? s.encoding.texts[line] : s.scratchTokens);
            delta += cost - s.textCost[line];
            if (commit) s.textCost[line] = cost;
            continue;
        }
        const std::uint32_t r = line - static_cast<std::uint32_t>(textCount);
        if (!s.alive[r] || s.encoding.phraseUses[r] == 0 || r == p) continue;
        if (adding && s.depth[p] >= s.depth[r]) continue;
        Tokens& out = commit ? s.encoding.phrases[r] : s.scratchTokens;
        const int cost = parseCounted(s, s.candidates[r], s.phraseMatches[r], s.depth[r], out);
        delta += cost - s.phraseCost[r];
        if (commit) s.phraseCost[r] = cost;
    }
    if (commit && adding) {
        s.encoding.phraseUses[p] = 1;  // in use until the next count
        ++base.usedCount;
    } else if (commit) {
        s.encoding.phraseUses[p] = 0;
        --base.usedCount;
    } else {
        s.alive[p] = !adding;
    }
    return delta;
}

// No more than moveDelta(p, adding) can come to, without parsing the lines
// p stands in: each use of p in place of what its own line is parsed into
// saves at most that line's cost less p's width, and a line of n characters
// holds at most n / |p| of them. Parses p's line (as the move would).
std::int64_t leastAddingDelta(Search& s, const MoveBase& base, std::uint32_t p) {
    const int cost = parsePhraseLine(s, p, s.encoding.phrases[p]);
    const std::int64_t bound = limitShift(s, base, true) + cost + 1;
    const std::int64_t perUse = cost - s.phraseWidth[p];
    if (perUse <= 0) return bound;  // no line gains from p
    const std::size_t length = s.candidates[p].size();
    const std::size_t textCount = s.texts.size();
    std::int64_t uses = 0;
    s.work.spent += s.linesWith[p].size();
    for (std::uint32_t line : s.linesWith[p]) {
        if (line < textCount) {
            uses += static_cast<std::int64_t>(s.texts[line].size() / length);
            continue;
        }
        const std::uint32_t r = line - static_cast<std::uint32_t>(textCount);
        if (!s.alive[r] || s.encoding.phraseUses[r] == 0 || r == p || s.depth[p] >= s.depth[r]) continue;
        uses += static_cast<std::int64_t>(s.candidates[r].size() / length);
    }
    return bound - perUse * uses;
}

// The candidates, not alive, that stand in phrase p or that p stands in.
std::vector<std::uint32_t> deadRelatives(const Search& s, std::uint32_t p) {
    std::vector<std::uint32_t> related = s.phraseMatches[p].ids;
    for (std::uint32_t line : s.linesWith[p])
        if (line >= s.texts.size()) related.push_back(line - static_cast<std::uint32_t>(s.texts.size()));
    std::erase_if(related, [&](std::uint32_t q) { return s.alive[q]; });
    std::sort(related.begin(), related.end());
    related.erase(std::unique(related.begin(), related.end()), related.end());
    return related;
}

// A sweep or swap round that started at `start` stops: the search's steps
// are spent, or the round's own.
bool roundOver(Search& s, std::uint64_t start) {
    return s.work.stopHere() || s.work.spent - start >= kMostRoundSteps;
}

// Phrases that save least first.
std::vector<std::uint32_t> removalOrder(const Search& s, const Encoding& e) {
    std::vector<std::uint32_t> order = usedPhrases(e);
    std::vector<std::int64_t> saving(s.candidates.size(), 0);
    for (std::uint32_t p : order)
        saving[p] = static_cast<std::int64_t>(e.phraseUses[p]) * (s.phraseCost[p] - s.phraseWidth[p]) - s.phraseCost[p];
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return saving[a] < saving[b]; });
    return order;
}

int widthOfToken(const Search& s, std::uint32_t token) {
    return isPhrase(token) ? s.phraseWidth[phraseOf(token)] : s.charWidth[token];
}

Chars spellToken(const Search& s, std::uint32_t token) {
    return isPhrase(token) ? s.candidates[phraseOf(token)] : Chars{static_cast<std::uint16_t>(token)};
}

}  // namespace

Spelled spellStandard(const CodeLines& codeLines, const EncodingFrame& frame) {
    const auto bodies = lineBodies(codeLines);
    const std::size_t phraseCount = bodies.size() - frame.linesBefore;
    Spelled result;
    result.phrases.resize(phraseCount);
    std::vector<bool> done(phraseCount, false);
    // Acyclic (checked before), so a depth-first walk ends.
    auto spell = [&](auto& self, std::span<const std::uint16_t> line, Chars& out) -> void {
        for (std::uint16_t code : line) {
            if (code < frame.codesBefore) {
                out.push_back(code);
                continue;
            }
            const std::size_t k = code - frame.codesBefore;
            if (!done[k]) {
                Chars inner;
                self(self, bodies[frame.linesBefore + k], inner);
                result.phrases[k] = std::move(inner);
                done[k] = true;
            }
            out.insert(out.end(), result.phrases[k].begin(), result.phrases[k].end());
        }
    };
    for (std::size_t i = 0; i < frame.linesBefore; ++i) {
        Chars text;
        spell(spell, bodies[i], text);
        result.texts.push_back(std::move(text));
    }
    return result;
}

std::vector<Chars> gatherCandidates(const Spelled& standard, BestWork& work) {
    std::vector<Chars> candidates = pairingCandidates(standard.texts, work);
    candidates.insert(candidates.end(), standard.phrases.begin(), standard.phrases.end());
    std::erase_if(candidates, [](const Chars& c) { return c.size() < 2 || c.size() > kLongestPhrase; });
    sortDistinct(candidates);
    return candidates;
}

Search startSearch(std::vector<Chars> texts, std::size_t charCount, const EncodingFrame& frame,
                   std::uint32_t depthLimit) {
    Search s;
    s.texts = std::move(texts);
    s.frame = frame;
    s.depthLimit = depthLimit;
    s.encoding.charUses.assign(charCount, 0);
    s.encoding.texts.resize(s.texts.size());
    const std::uint8_t limit = limitFor(frame, 0);
    s.charWidth.resize(charCount);
    for (std::size_t c = 0; c < charCount; ++c)
        s.charWidth[c] = static_cast<std::uint8_t>(widthOf(static_cast<std::uint32_t>(c), limit));
    return s;
}

void takeCandidates(Search& s, std::vector<Chars> candidates) {
    s.candidates = std::move(candidates);
    const std::size_t count = s.candidates.size();
    s.alive.assign(count, true);
    s.depth.assign(count, 0);
    const PhraseTrie trie(s.candidates);
    s.textMatches.clear();
    s.phraseMatches.clear();
    for (const Chars& candidate : s.candidates) s.work.spent += kStepsPerTrieNode * candidate.size();
    for (const Chars& text : s.texts) {
        if (s.work.stopHere()) return;
        s.textMatches.push_back(trie.matchAll(text));
        s.work.spent += s.textMatches.back().walked;
    }
    for (std::size_t p = 0; p < count; ++p) {
        if (s.work.stopHere()) return;
        s.phraseMatches.push_back(trie.matchAll(s.candidates[p], static_cast<std::uint32_t>(p)));
        s.work.spent += s.phraseMatches.back().walked;
    }
    s.phraseWidth.assign(count, 2);
    s.phraseCost.assign(count, 0);
    s.textCost.assign(s.texts.size(), 0);
    s.linesWith.assign(count, {});
    auto note = [&](const MatchTable& matches, std::uint32_t line) {
        for (std::uint32_t id : matches.ids)
            if (s.linesWith[id].empty() || s.linesWith[id].back() != line) s.linesWith[id].push_back(line);
    };
    for (std::size_t t = 0; t < s.texts.size(); ++t) note(s.textMatches[t], static_cast<std::uint32_t>(t));
    for (std::size_t p = 0; p < count; ++p) note(s.phraseMatches[p], static_cast<std::uint32_t>(s.texts.size() + p));
    s.encoding.phraseUses.assign(count, 0);
    s.encoding.phrases.assign(count, {});
    parseAll(s);
}

void parseAll(Search& s) {
    for (std::size_t p = 0; p < s.candidates.size(); ++p) {
        s.encoding.phrases[p].clear();
        if (s.alive[p]) parsePhraseLine(s, static_cast<std::uint32_t>(p), s.encoding.phrases[p]);
    }
    for (std::size_t t = 0; t < s.texts.size(); ++t) {
        if (s.work.stopHere()) return;
        s.textCost[t] = parseText(s, t, s.encoding.texts[t]);
    }
    // Every alive phrase line is parsed; countUses clears the unused ones.
    countUses(s.encoding);
}

bool rankWidths(Search& s) {
    s.work.spent += s.charWidth.size() + s.phraseWidth.size();
    const std::vector<std::uint32_t> used = usedPhrases(s.encoding);
    const std::uint8_t limit = limitFor(s.frame, used.size());
    std::vector<std::uint32_t> chars(s.charWidth.size());
    std::iota(chars.begin(), chars.end(), 0u);
    bool changed = false;
    auto set = [&](std::uint8_t& width, int value) {
        changed = changed || width != value;
        width = static_cast<std::uint8_t>(value);
    };
    const auto charOrder = rankByUse(s.encoding.charUses, chars);
    for (std::size_t rank = 0; rank < charOrder.size(); ++rank)
        set(s.charWidth[charOrder[rank]], widthOf(static_cast<std::uint32_t>(rank), limit));
    const auto phraseOrder = rankByUse(s.encoding.phraseUses, used);
    const int unusedWidth = widthOf(static_cast<std::uint32_t>(s.frame.codesBefore + used.size()), limit);
    for (std::size_t p = 0; p < s.phraseWidth.size(); ++p)
        if (s.encoding.phraseUses[p] == 0) set(s.phraseWidth[p], unusedWidth);
    for (std::size_t rank = 0; rank < phraseOrder.size(); ++rank)
        set(s.phraseWidth[phraseOrder[rank]], widthOf(static_cast<std::uint32_t>(s.frame.codesBefore + rank), limit));
    return changed;
}

void rerank(Search& s) {
    rankWidths(s);
    parseAll(s);
}

bool dropRound(Search& s) {
    const bool dropped = dropLosingPhrases(s);
    const bool widthsChanged = rankWidths(s);
    parseAll(s);
    return dropped || widthsChanged;
}

bool sweepRound(Search& s) {
    bool changed = false;
    MoveBase base = startMoves(s);
    const std::uint64_t start = s.work.spent;
    for (std::size_t p = s.candidates.size(); p-- > 0 && !roundOver(s, start);) {
        const auto id = static_cast<std::uint32_t>(p);
        const bool adding = !s.alive[p] || s.encoding.phraseUses[p] == 0;
        if (adding && s.alive[p]) continue;  // alive but unused: the parse has no use for it
        if (adding && !s.tryEveryMove && leastAddingDelta(s, base, id) >= 0) continue;
        if (moveDelta(s, base, id, adding, false) < (adding ? 0 : 1)) {
            moveDelta(s, base, id, adding, true);
            changed = true;
        }
    }
    return changed;
}

bool swapRound(Search& s) {
    bool changed = false;
    MoveBase base = startMoves(s);
    const std::uint64_t start = s.work.spent;
    for (std::size_t p = s.candidates.size(); p-- > 0 && !roundOver(s, start);) {
        if (!s.alive[p] || s.encoding.phraseUses[p] == 0) continue;
        const auto id = static_cast<std::uint32_t>(p);
        const std::vector<std::uint32_t> related = deadRelatives(s, id);
        if (related.empty()) continue;
        const std::int64_t dropped = moveDelta(s, base, id, false, true);
        std::int64_t bestAdded = 0;
        std::uint32_t best = kNoCandidate;
        // Only a candidate that adds at most -dropped can be swapped in, and
        // only one that adds less than the best so far replaces it: those that
        // cannot are not tried.
        for (std::uint32_t q : related) {
            if (s.work.stopHere()) return changed;  // the search ends here: p may stay dropped
            if (!s.tryEveryMove) {
                const std::int64_t least = leastAddingDelta(s, base, q);
                if (least > -dropped || (best != kNoCandidate && least >= bestAdded)) continue;
            }
            const std::int64_t added = moveDelta(s, base, q, true, false);
            if (best == kNoCandidate || added < bestAdded) {
                bestAdded = added;
                best = q;
            }
        }
        if (best != kNoCandidate && dropped + bestAdded <= 0) {
            moveDelta(s, base, best, true, true);
            changed = true;
        } else {
            moveDelta(s, base, id, true, true);
        }
    }
    return changed;
}

namespace {

constexpr std::size_t kMostFreedTries = 8;
constexpr int kDropRoundsAfterFreeing = 4;

// What a tried move may have to give back.
struct SearchState {
    std::vector<bool> alive;
    std::vector<std::uint32_t> depth;
    std::vector<std::uint8_t> charWidth;
    std::vector<std::uint8_t> phraseWidth;
    std::vector<int> phraseCost;
    std::vector<int> textCost;
    Encoding encoding;
};

SearchState saveState(const Search& s) {
    return {s.alive, s.depth, s.charWidth, s.phraseWidth, s.phraseCost, s.textCost, s.encoding};
}

void restoreState(Search& s, SearchState&& saved) {
    s.alive = std::move(saved.alive);
    s.depth = std::move(saved.depth);
    s.charWidth = std::move(saved.charWidth);
    s.phraseWidth = std::move(saved.phraseWidth);
    s.phraseCost = std::move(saved.phraseCost);
    s.textCost = std::move(saved.textCost);
    s.encoding = std::move(saved.encoding);
}

// For each character, the uses that would be left if every text position
// holding it were covered by its shortest candidate: the positions that no
// candidate covers, and the character's count in each distinct covering
// candidate once. The same whatever the search holds alive.
std::vector<std::int64_t> usesLeftWhenCovered(Search& s) {
    std::vector<std::int64_t> left(s.charWidth.size(), 0);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> covers;  // (character, candidate)
    std::vector<std::uint32_t> shortest;
    for (std::size_t t = 0; t < s.texts.size(); ++t) {
        const Chars& text = s.texts[t];
        const MatchTable& matches = s.textMatches[t];
        shortest.assign(text.size(), kNoCandidate);
        for (std::size_t j = 0; j < text.size(); ++j)
            for (std::uint32_t k = matches.start[j]; k < matches.start[j + 1]; ++k) {
                const std::uint32_t q = matches.ids[k];
                const std::size_t length = matches.lengths[k];
                s.work.spent += length;
                for (std::size_t i = j; i < j + length; ++i)
                    if (shortest[i] == kNoCandidate || s.candidates[shortest[i]].size() > length) shortest[i] = q;
            }
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (shortest[i] == kNoCandidate)
                ++left[text[i]];
            else
                covers.push_back({text[i], shortest[i]});
        }
    }
    std::sort(covers.begin(), covers.end());
    covers.erase(std::unique(covers.begin(), covers.end()), covers.end());
    for (const auto& [c, q] : covers) left[c] += std::count(s.candidates[q].begin(), s.candidates[q].end(), c);
    return left;
}

// The one-byte character with the fewest uses left (usesLeftWhenCovered)
// among those not yet tried, provided that is fewer than the uses of the
// character that would take its code (the first at two bytes, whose id goes
// to `promoted`); kNoCandidate when there is none.
std::uint32_t charToFree(const Search& s, const std::vector<std::int64_t>& left, const std::vector<bool>& tried,
                         std::uint32_t& promoted) {
    const std::size_t limit = limitFor(s.frame, usedPhrases(s.encoding).size());
    std::vector<std::uint32_t> chars(s.charWidth.size());
    std::iota(chars.begin(), chars.end(), 0u);
    const std::vector<std::uint32_t> charOrder = rankByUse(s.encoding.charUses, chars);
    if (charOrder.size() <= limit) return kNoCandidate;  // every character has one byte already
    promoted = charOrder[limit];
    const std::int64_t promotedUses = s.encoding.charUses[promoted];
    std::uint32_t best = kNoCandidate;
    for (std::size_t rank = 0; rank < limit; ++rank) {
        const std::uint32_t c = charOrder[rank];
        if (tried[c] || left[c] >= promotedUses) continue;
        if (best == kNoCandidate || left[c] < left[best]) best = c;
    }
    return best;
}

// Parses with character c at two bytes and character `promoted` at one,
// with every candidate that holds c alive, then drops what loses.
void tryWithoutChar(Search& s, std::uint32_t c, std::uint32_t promoted) {
    for (std::size_t q = 0; q < s.candidates.size(); ++q)
        if (std::find(s.candidates[q].begin(), s.candidates[q].end(), c) != s.candidates[q].end()) s.alive[q] = true;
    s.charWidth[c] = 2;
    s.charWidth[promoted] = 1;
    parseAll(s);
    for (int round = 0; round < kDropRoundsAfterFreeing && !s.work.stopHere(); ++round)
        if (!dropRound(s)) break;
}

}  // namespace

bool freeCharRound(Search& s) {
    bool kept = false;
    const std::vector<std::int64_t> left = usesLeftWhenCovered(s);
    std::vector<bool> tried(s.charWidth.size(), false);
    for (std::size_t attempt = 0; attempt < kMostFreedTries && !s.work.stopHere(); ++attempt) {
        std::uint32_t promoted = 0;
        const std::uint32_t c = charToFree(s, left, tried, promoted);
        if (c == kNoCandidate) break;
        tried[c] = true;
        const std::int64_t before = tallyStream(s.encoding, s.frame);
        SearchState saved = saveState(s);
        tryWithoutChar(s, c, promoted);
        if (!s.work.stopHere() && tallyStream(s.encoding, s.frame) < before) {
            kept = true;
            continue;
        }
        restoreState(s, std::move(saved));
    }
    return kept;
}

bool inlineRound(Search& s, Encoding& found, StreamTally& tally) {
    bool changed = false;
    // Each try tallies the stream twice, going through every character's and
    // candidate's uses in order: a step for kTallyValuesPerStep of them.
    const std::uint64_t tryingSteps = 2 * (found.charUses.size() + found.phraseUses.size()) / kTallyValuesPerStep + 1;
    for (std::uint32_t p : removalOrder(s, found)) {
        if (s.work.stopHere()) break;
        s.work.spent += tryingSteps;
        if (tally.inlineIfSmaller(p)) changed = true;
    }
    return changed;
}

std::vector<Chars> refreshedCandidates(Search& s, PairsTaken taken) {
    std::vector<Chars> next;
    for (std::uint32_t p : usedPhrases(s.encoding)) next.push_back(s.candidates[p]);
    std::vector<std::uint64_t> pairs;
    auto collect = [&](const Tokens& line) {
        for (std::size_t i = 0; i + 1 < line.size(); ++i)
            pairs.push_back(static_cast<std::uint64_t>(line[i]) << 32 | line[i + 1]);
    };
    for (const Tokens& text : s.encoding.texts) collect(text);
    for (const Tokens& phrase : s.encoding.phrases) collect(phrase);
    s.work.spent += pairs.size();
    std::sort(pairs.begin(), pairs.end());
    for (std::size_t i = 0; i < pairs.size();) {
        std::size_t j = i;
        while (j < pairs.size() && pairs[j] == pairs[i]) ++j;
        const auto first = static_cast<std::uint32_t>(pairs[i] >> 32), second = static_cast<std::uint32_t>(pairs[i]);
        const std::int64_t cost = widthOfToken(s, first) + widthOfToken(s, second);
        const auto count = static_cast<std::int64_t>(j - i);
        // Reckoned with the phrase at 2 bytes a use in place of the pair; its
        // own line costs the pair and a length word.
        const std::int64_t saved = count * (cost - 2);
        if (taken == PairsTaken::paying ? saved > cost + 1 : saved >= cost) {
            Chars spelled = spellToken(s, first);
            const Chars tail = spellToken(s, second);
            spelled.insert(spelled.end(), tail.begin(), tail.end());
            if (spelled.size() <= kLongestPhrase) next.push_back(std::move(spelled));
        }
        i = j;
    }
    sortDistinct(next);
    return next;
}

}  // namespace kvz::detail
