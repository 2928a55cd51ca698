// The optimising encoder.
//
// Phrases are handled as the character sequences they spell. The candidates
// come from the default path's phrases and from repeated pairing of frequent
// neighbours. Every phrase line (shortest phrase first, so that a phrase holds
// only shorter ones and no cycle can form, and only phrases shallow enough to
// keep the default's nesting depth) and every text line is parsed into the
// fewest bytes by dynamic programming over value widths; characters and
// phrases are then ranked by how often they are written, which gives the
// widths of the next round. Round by round the phrases that do not pay for
// their line are dropped, the worst few first. Then sweeps over the
// candidates drop or add single phrases wherever re-parsing the lines they
// stand in saves bytes, and swap a phrase for a longer or shorter relative
// where that costs nothing; the repeated pairs of the parse join the
// candidates and the search goes on while it gains; a last local search
// inlines single phrases wherever that makes the exact stream smaller.
#include "compress/best.h"

#include <algorithm>
#include <numeric>

#include "compress/best_detail.h"
#include "compress/best_search.h"

namespace kvz {
namespace {

using detail::Chars;
using detail::MatchTable;

constexpr std::size_t kLongestPhrase = 116;
constexpr std::uint32_t kPhraseToken = 0x10000;  // tokens from here on are phrases
constexpr int kMostParseRounds = 400;
constexpr std::size_t kDroppedShare = 10;  // percent of the losing phrases dropped per round
constexpr std::size_t kFewestDropped = 2;
constexpr int kSearchPasses = 2;
constexpr int kCandidateRefreshes = 4;
constexpr int kSweeps = 5;
constexpr std::uint32_t kNoCandidate = 0xFFFFFFFFu;

// A parsed line: characters (below kPhraseToken) and phrases (kPhraseToken + id).
using Tokens = std::vector<std::uint32_t>;

bool isPhrase(std::uint32_t token) { return token >= kPhraseToken; }
std::uint32_t phraseOf(std::uint32_t token) { return token - kPhraseToken; }

int widthOf(std::uint32_t value, std::uint8_t limit) { return value < limit ? 1 : 2; }

std::uint8_t limitFor(std::size_t codesBefore, std::size_t phrases) {
    return getC2Code(static_cast<std::int32_t>(codesBefore + phrases));
}

// Sum of the `count` largest values.
std::int64_t largestSum(std::vector<std::uint32_t>& values, std::size_t count) {
    count = std::min(count, values.size());
    if (count == 0) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count - 1), values.end(),
                     std::greater<>());
    return std::accumulate(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count), std::int64_t{0});
}

// Order of symbols by use, most used first, ties by number.
std::vector<std::uint32_t> rankByUse(const std::vector<std::uint32_t>& uses, const std::vector<std::uint32_t>& ids) {
    std::vector<std::uint32_t> order = ids;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return uses[a] != uses[b] ? uses[a] > uses[b] : a < b;
    });
    return order;
}

// The texts and the default phrases spelled out in characters.
struct Spelled {
    std::vector<Chars> texts;
    std::vector<Chars> phrases;
};

Spelled spellStandard(const CodeLines& codeLines, const EncodingFrame& frame) {
    const auto bodies = detail::lineBodies(codeLines);
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

bool shorterFirst(const Chars& a, const Chars& b) { return a.size() != b.size() ? a.size() < b.size() : a < b; }

// Distinct candidates of 2 to 116 characters, shortest first.
std::vector<Chars> gatherCandidates(const Spelled& standard) {
    std::vector<Chars> candidates = detail::pairingCandidates(standard.texts);
    candidates.insert(candidates.end(), standard.phrases.begin(), standard.phrases.end());
    std::erase_if(candidates, [](const Chars& c) { return c.size() < 2 || c.size() > kLongestPhrase; });
    std::sort(candidates.begin(), candidates.end(), shorterFirst);
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    return candidates;
}

// A parse of every line and the uses of every symbol, with the exact stream
// size computed from the counts: characters are ranked by use (code = rank),
// phrases too (the most used phrase is written as F).
class Encoding {
public:
    std::vector<Tokens> texts;
    std::vector<Tokens> phrases;          // by candidate id; empty when not used
    std::vector<std::uint32_t> charUses;  // by character
    std::vector<std::uint32_t> phraseUses;

    void countUses() {
        std::fill(charUses.begin(), charUses.end(), 0);
        std::fill(phraseUses.begin(), phraseUses.end(), 0);
        for (const Tokens& text : texts) addUses(text, 1);
        // A phrase line holds only shorter phrases, that is lower ids.
        for (std::size_t p = phrases.size(); p-- > 0;) {
            if (phraseUses[p] == 0) {
                phrases[p].clear();
                continue;
            }
            addUses(phrases[p], 1);
        }
    }

    void addUses(const Tokens& line, std::int64_t times) {
        for (std::uint32_t token : line) {
            std::uint32_t& uses = isPhrase(token) ? phraseUses[phraseOf(token)] : charUses[token];
            uses = static_cast<std::uint32_t>(uses + times);
        }
    }

    std::vector<std::uint32_t> usedPhrases() const {
        std::vector<std::uint32_t> used;
        for (std::size_t p = 0; p < phraseUses.size(); ++p)
            if (phraseUses[p] > 0) used.push_back(static_cast<std::uint32_t>(p));
        return used;
    }
};

// Exact stream bytes of an Encoding, kept up to date while phrases are
// inlined one at a time.
class StreamTally {
public:
    StreamTally(Encoding& encoding, const EncodingFrame& frame) : e_(encoding), frame_(frame) {
        const std::size_t textCount = e_.texts.size();
        lineLength_.assign(textCount + e_.phrases.size(), 0);
        lineAlive_.assign(lineLength_.size(), false);
        occurrences_.assign(e_.phrases.size(), {});
        for (std::size_t t = 0; t < textCount; ++t) noteLine(static_cast<std::uint32_t>(t), e_.texts[t]);
        for (std::uint32_t p : e_.usedPhrases()) {
            noteLine(static_cast<std::uint32_t>(textCount + p), e_.phrases[p]);
            ++phraseCount_;
        }
    }

    std::int64_t bytes() {
        const std::uint8_t limit = limitFor(frame_.codesBefore, phraseCount_);
        std::int64_t total = 1 + widthOf(frame_.codesBefore, limit) + widthOf(static_cast<std::uint32_t>(phraseCount_), limit);
        std::uint64_t firstEntry = 0;
        for (std::uint32_t count : frame_.groupCounts) {
            total += widthOf(static_cast<std::uint32_t>(std::min<std::uint64_t>(firstEntry, 0xFFFF)), limit) +
                     widthOf(std::min<std::uint32_t>(count, 0xFFFF), limit);
            firstEntry += count;
        }
        for (std::size_t length = 0; length < lengthCount_.size(); ++length)
            total += static_cast<std::int64_t>(lengthCount_[length]) * widthOf(static_cast<std::uint32_t>(length), limit);
        scratch_ = e_.charUses;
        const std::int64_t charTotal = std::accumulate(scratch_.begin(), scratch_.end(), std::int64_t{0});
        total += 2 * charTotal - largestSum(scratch_, limit);
        scratch_ = e_.phraseUses;
        const std::int64_t phraseTotal = std::accumulate(scratch_.begin(), scratch_.end(), std::int64_t{0});
        const std::size_t onePhraseBytes = limit > frame_.codesBefore ? limit - frame_.codesBefore : 0;
        total += 2 * phraseTotal - largestSum(scratch_, onePhraseBytes);
        return total;
    }

    // Inlines phrase p where that shrinks the stream; true when it did.
    bool inlineIfSmaller(std::uint32_t p) {
        if (e_.phraseUses[p] == 0) return false;
        const std::int64_t before = bytes();
        applyUses(p, 1);
        const std::int64_t after = bytes();
        applyUses(p, -1);
        if (after >= before) return false;
        applyUses(p, 1);
        rewriteLines(p);
        return true;
    }

private:
    void noteLine(std::uint32_t line, const Tokens& tokens) {
        lineAlive_[line] = true;
        setLength(line, static_cast<std::uint32_t>(tokens.size()));
        for (std::uint32_t token : tokens)
            if (isPhrase(token)) occurrences_[phraseOf(token)].push_back(line);
    }

    void setLength(std::uint32_t line, std::uint32_t length) {
        if (lineAlive_[line] && lineLength_[line] > 0) --lengthCount_[lineLength_[line]];
        lineLength_[line] = length;
        if (length > 0) {
            if (lengthCount_.size() <= length) lengthCount_.resize(length + 1, 0);
            ++lengthCount_[length];
        }
    }

    Tokens& lineTokens(std::uint32_t line) {
        return line < e_.texts.size() ? e_.texts[line] : e_.phrases[line - e_.texts.size()];
    }

    // direction 1: the counts as if p were inlined; -1: undo that.
    void applyUses(std::uint32_t p, int direction) {
        const Tokens& content = e_.phrases[p];
        const std::uint32_t ownLine = static_cast<std::uint32_t>(e_.texts.size() + p);
        const std::int64_t uses = direction > 0 ? e_.phraseUses[p] : savedUses_;
        if (direction > 0) savedUses_ = e_.phraseUses[p];
        // Its line goes; each use now writes the content.
        e_.addUses(content, direction * (uses - 1));
        e_.phraseUses[p] = direction > 0 ? 0 : static_cast<std::uint32_t>(savedUses_);
        phraseCount_ = direction > 0 ? phraseCount_ - 1 : phraseCount_ + 1;
        const auto grow = static_cast<std::int64_t>(content.size()) - 1;
        for (std::uint32_t line : occurrences_[p]) {
            if (!lineAlive_[line]) continue;
            setLength(line, static_cast<std::uint32_t>(lineLength_[line] + direction * grow));
        }
        if (direction > 0) {
            setLength(ownLine, 0);
            lineAlive_[ownLine] = false;
        } else {
            lineAlive_[ownLine] = true;
            setLength(ownLine, static_cast<std::uint32_t>(content.size()));
        }
    }

    void rewriteLines(std::uint32_t p) {
        const Tokens content = std::move(e_.phrases[p]);
        e_.phrases[p].clear();
        std::vector<std::uint32_t> lines = occurrences_[p];
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        for (std::uint32_t line : lines) {
            if (!lineAlive_[line]) continue;
            Tokens& tokens = lineTokens(line);
            Tokens rewritten;
            for (std::uint32_t token : tokens) {
                if (token != kPhraseToken + p) {
                    rewritten.push_back(token);
                    continue;
                }
                rewritten.insert(rewritten.end(), content.begin(), content.end());
                for (std::uint32_t inner : content)
                    if (isPhrase(inner)) occurrences_[phraseOf(inner)].push_back(line);
            }
            tokens = std::move(rewritten);
        }
        occurrences_[p].clear();
    }

    Encoding& e_;
    const EncodingFrame& frame_;
    std::size_t phraseCount_ = 0;
    std::vector<std::uint32_t> lineLength_;  // texts, then phrase lines by id
    std::vector<bool> lineAlive_;
    std::vector<std::uint32_t> lengthCount_;  // lines of each length
    std::vector<std::vector<std::uint32_t>> occurrences_;  // per phrase: its lines, once per use
    std::vector<std::uint32_t> scratch_;
    std::uint32_t savedUses_ = 0;
};

class Optimizer {
public:
    Optimizer(std::vector<Chars> texts, std::size_t charCount, const EncodingFrame& frame, std::uint32_t depthLimit)
        : texts_(std::move(texts)), frame_(frame), depthLimit_(depthLimit) {
        charWidth_.assign(charCount, 2);
        encoding_.charUses.assign(charCount, 0);
        encoding_.texts.resize(texts_.size());
        // First widths: the default ranking of characters.
        const std::uint8_t limit = limitFor(frame.codesBefore, 0);
        for (std::size_t c = 0; c < charCount; ++c)
            charWidth_[c] = static_cast<std::uint8_t>(widthOf(static_cast<std::uint32_t>(c), limit));
    }

    // Searches with `candidates`, then with what the parse suggests, and
    // returns the best encoding found.
    Encoding run(std::vector<Chars> candidates) {
        Encoding best;
        std::int64_t bestBytes = 0;
        for (int refresh = 0; refresh <= kCandidateRefreshes; ++refresh) {
            setCandidates(std::move(candidates));
            dropUntilStable();
            for (int sweep = 0; sweep < kSweeps; ++sweep) {
                const bool changed = sweepMoves() || swapMoves();
                // The moves keep costs, not counts: count again.
                rankWidths();
                parseAll();
                if (!changed) break;
            }
            Encoding found = encoding_;
            StreamTally tally(found, frame_);
            for (int pass = 0; pass < kSearchPasses; ++pass) {
                bool changed = false;
                for (std::uint32_t p : removalOrder(found))
                    if (tally.inlineIfSmaller(p)) changed = true;
                if (!changed) break;
            }
            const std::int64_t bytes = tally.bytes();
            if (refresh > 0 && bytes >= bestBytes) break;
            best = std::move(found);
            bestBytes = bytes;
            candidates = refreshedCandidates();
        }
        return best;
    }

private:
    void setCandidates(std::vector<Chars> candidates) {
        candidates_ = std::move(candidates);
        const std::size_t count = candidates_.size();
        alive_.assign(count, true);
        depth_.assign(count, 0);
        const detail::PhraseTrie trie(candidates_);
        textMatches_.clear();
        phraseMatches_.clear();
        for (const Chars& text : texts_) textMatches_.push_back(trie.matchAll(text));
        for (std::size_t p = 0; p < count; ++p)
            phraseMatches_.push_back(trie.matchAll(candidates_[p], static_cast<std::uint32_t>(p)));
        phraseWidth_.assign(count, 2);
        phraseCost_.assign(count, 0);
        textCost_.assign(texts_.size(), 0);
        linesWith_.assign(count, {});
        auto note = [&](const MatchTable& matches, std::uint32_t line) {
            for (std::uint32_t id : matches.ids)
                if (linesWith_[id].empty() || linesWith_[id].back() != line) linesWith_[id].push_back(line);
        };
        for (std::size_t t = 0; t < texts_.size(); ++t) note(textMatches_[t], static_cast<std::uint32_t>(t));
        for (std::size_t p = 0; p < count; ++p) note(phraseMatches_[p], static_cast<std::uint32_t>(texts_.size() + p));
        encoding_.phraseUses.assign(count, 0);
        encoding_.phrases.assign(count, {});
    }

    // One pass over the candidates: each phrase in use is dropped, each
    // other one added, when the lines it stands in, parsed again, and its
    // own line cost fewer bytes in all (a drop also when they cost the
    // same). True when anything changed.
    bool sweepMoves() {
        bool changed = false;
        startMoves();
        for (std::size_t p = candidates_.size(); p-- > 0;) {
            const auto id = static_cast<std::uint32_t>(p);
            const bool adding = !alive_[p] || encoding_.phraseUses[p] == 0;
            if (adding && alive_[p]) continue;  // alive but unused: the parse has no use for it
            if (moveDelta(id, adding, false) < (adding ? 0 : 1)) {
                moveDelta(id, adding, true);
                changed = true;
            }
        }
        return changed;
    }

    void startMoves() {
        usedCount_ = encoding_.usedPhrases().size();
        charUsesByRank_ = encoding_.charUses;
        std::sort(charUsesByRank_.begin(), charUsesByRank_.end(), std::greater<>());
    }

    // Each phrase in use is swapped for a candidate that stands in it or
    // that it stands in, when dropping the one and adding the other costs no
    // bytes though neither move alone would pay. True when anything changed.
    bool swapMoves() {
        bool changed = false;
        startMoves();
        std::vector<std::uint32_t> related;
        for (std::size_t p = candidates_.size(); p-- > 0;) {
            if (!alive_[p] || encoding_.phraseUses[p] == 0) continue;
            related = phraseMatches_[p].ids;
            for (std::uint32_t line : linesWith_[p])
                if (line >= texts_.size()) related.push_back(line - static_cast<std::uint32_t>(texts_.size()));
            std::erase_if(related, [&](std::uint32_t q) { return alive_[q]; });
            std::sort(related.begin(), related.end());
            related.erase(std::unique(related.begin(), related.end()), related.end());
            if (related.empty()) continue;
            const auto id = static_cast<std::uint32_t>(p);
            const std::int64_t dropped = moveDelta(id, false, true);
            std::int64_t bestAdded = 0;
            std::uint32_t best = kNoCandidate;
            for (std::uint32_t q : related) {
                const std::int64_t added = moveDelta(q, true, false);
                if (best == kNoCandidate || added < bestAdded) {
                    bestAdded = added;
                    best = q;
                }
            }
            if (dropped + bestAdded <= 0) {
                moveDelta(best, true, true);
                changed = true;
            } else {
                moveDelta(id, true, true);
            }
        }
        return changed;
    }

    // Bytes that adding or dropping phrase p changes, the widths kept;
    // with `commit` the move is made.
    std::int64_t moveDelta(std::uint32_t p, bool adding, bool commit) {
        alive_[p] = adding;
        std::int64_t delta = limitShift(adding);
        if (adding) {
            delta += parsePhraseLine(p, encoding_.phrases[p]) + 1;
        } else {
            delta -= phraseCost_[p] + 1;
        }
        const std::size_t textCount = texts_.size();
        for (std::uint32_t line : linesWith_[p]) {
            if (line < textCount) {
                const int cost = parse(texts_[line], textMatches_[line], [&](std::uint32_t q) { return alive_[q]; },
                                       commit ? encoding_.texts[line] : scratchTokens_);
                delta += cost - textCost_[line];
                if (commit) textCost_[line] = cost;
                continue;
            }
            const std::uint32_t r = line - static_cast<std::uint32_t>(textCount);
            if (!alive_[r] || encoding_.phraseUses[r] == 0 || r == p) continue;
            if (adding && depth_[p] >= depth_[r]) continue;
            const int cost = parse(candidates_[r], phraseMatches_[r],
                                   [&](std::uint32_t q) { return alive_[q] && depth_[q] < depth_[r]; },
                                   commit ? encoding_.phrases[r] : scratchTokens_);
            delta += cost - phraseCost_[r];
            if (commit) phraseCost_[r] = cost;
        }
        if (commit && adding) {
            encoding_.phraseUses[p] = 1;  // in use until the next count
            ++usedCount_;
        } else if (commit) {
            encoding_.phraseUses[p] = 0;
            --usedCount_;
        } else {
            alive_[p] = !adding;
        }
        return delta;
    }

    // One more phrase may lower the one-byte limit, one fewer raise it: the
    // character at the limit's rank changes its width.
    std::int64_t limitShift(bool adding) const {
        const std::uint8_t now = limitFor(frame_.codesBefore, usedCount_);
        const std::uint8_t then = limitFor(frame_.codesBefore, adding ? usedCount_ + 1 : usedCount_ - 1);
        auto usesAt = [&](std::size_t rank) -> std::int64_t {
            return rank < charUsesByRank_.size() ? charUsesByRank_[rank] : 0;
        };
        if (then < now) return usesAt(then);
        if (then > now) return -usesAt(now);
        return 0;
    }

    // Parses phrase p's line from shorter phrases shallow enough for the
    // nesting limit, and sets its depth; returns its cost.
    int parsePhraseLine(std::uint32_t p, Tokens& out) {
        phraseCost_[p] = parse(candidates_[p], phraseMatches_[p],
                               [&](std::uint32_t q) { return alive_[q] && depth_[q] < depthLimit_; }, out);
        std::uint32_t deepest = 0;
        for (std::uint32_t token : out)
            if (isPhrase(token)) deepest = std::max(deepest, depth_[phraseOf(token)]);
        depth_[p] = deepest + 1;
        return phraseCost_[p];
    }

    void dropUntilStable() {
        for (int round = 0; round < kMostParseRounds; ++round) {
            parseAll();
            const bool dropped = dropUnprofitable();
            const bool widthsChanged = rankWidths();
            if (!dropped && !widthsChanged) break;
        }
        parseAll();
    }

    // The phrases in use, and every pair of neighbouring codes in the
    // parse that repeats often enough to pay as a phrase of its own.
    std::vector<Chars> refreshedCandidates() const {
        std::vector<Chars> next;
        for (std::uint32_t p : encoding_.usedPhrases()) next.push_back(candidates_[p]);
        std::vector<std::uint64_t> pairs;
        auto collect = [&](const Tokens& line) {
            for (std::size_t i = 0; i + 1 < line.size(); ++i) pairs.push_back(static_cast<std::uint64_t>(line[i]) << 32 | line[i + 1]);
        };
        for (const Tokens& text : encoding_.texts) collect(text);
        for (const Tokens& phrase : encoding_.phrases) collect(phrase);
        std::sort(pairs.begin(), pairs.end());
        for (std::size_t i = 0; i < pairs.size();) {
            std::size_t j = i;
            while (j < pairs.size() && pairs[j] == pairs[i]) ++j;
            const auto first = static_cast<std::uint32_t>(pairs[i] >> 32), second = static_cast<std::uint32_t>(pairs[i]);
            const std::int64_t cost = widthOfToken(first) + widthOfToken(second);
            const auto count = static_cast<std::int64_t>(j - i);
            if (count * (cost - 2) > cost + 1) {
                Chars spelled = spell(first);
                const Chars tail = spell(second);
                spelled.insert(spelled.end(), tail.begin(), tail.end());
                if (spelled.size() <= kLongestPhrase) next.push_back(std::move(spelled));
            }
            i = j;
        }
        std::sort(next.begin(), next.end(), shorterFirst);
        next.erase(std::unique(next.begin(), next.end()), next.end());
        return next;
    }

    int widthOfToken(std::uint32_t token) const {
        return isPhrase(token) ? phraseWidth_[phraseOf(token)] : charWidth_[token];
    }

    Chars spell(std::uint32_t token) const {
        return isPhrase(token) ? candidates_[phraseOf(token)] : Chars{static_cast<std::uint16_t>(token)};
    }

    // Fewest bytes for `chars`, phrases limited by `usable`; ties go to
    // fewer codes.
    template <class Usable>
    int parse(const Chars& chars, const MatchTable& matches, Usable usable, Tokens& out) {
        const std::size_t n = chars.size();
        cost_.assign(n + 1, 0);
        count_.assign(n + 1, 0);
        choice_.assign(n + 1, 0);
        popularity_.assign(n + 1, 0);
        for (std::size_t i = n; i-- > 0;) {
            int best = charWidth_[chars[i]] + cost_[i + 1];
            int bestCount = count_[i + 1] + 1;
            std::int64_t bestPopularity = popularity_[i + 1];
            std::uint32_t bestChoice = chars[i];
            for (std::uint32_t k = matches.start[i]; k < matches.start[i + 1]; ++k) {
                const std::uint32_t p = matches.ids[k];
                if (!usable(p)) continue;
                const std::size_t end = i + candidates_[p].size();
                const int cost = phraseWidth_[p] + cost_[end];
                const int codes = count_[end] + 1;
                const std::int64_t popularity = popularity_[end] + encoding_.phraseUses[p];
                if (cost < best || (cost == best && (popularity > bestPopularity ||
                                                     (popularity == bestPopularity && codes < bestCount)))) {
                    best = cost;
                    bestCount = codes;
                    bestPopularity = popularity;
                    bestChoice = kPhraseToken + p;
                }
            }
            cost_[i] = best;
            count_[i] = bestCount;
            popularity_[i] = bestPopularity;
            choice_[i] = bestChoice;
        }
        out.clear();
        for (std::size_t i = 0; i < n;) {
            out.push_back(choice_[i]);
            i += isPhrase(choice_[i]) ? candidates_[phraseOf(choice_[i])].size() : 1;
        }
        return cost_[0];
    }

    void parseAll() {
        for (std::size_t p = 0; p < candidates_.size(); ++p) {
            encoding_.phrases[p].clear();
            if (alive_[p]) parsePhraseLine(static_cast<std::uint32_t>(p), encoding_.phrases[p]);
        }
        for (std::size_t t = 0; t < texts_.size(); ++t)
            textCost_[t] = parse(texts_[t], textMatches_[t], [&](std::uint32_t q) { return alive_[q]; }, encoding_.texts[t]);
        // Every alive phrase line is parsed; countUses clears the unused ones.
        encoding_.countUses();
    }

    // A phrase pays when its uses save more than its line costs. Of those
    // that do not, the worst share goes each round, so that the uses of
    // the dropped ones can move to the others before those are judged.
    bool dropUnprofitable() {
        const std::uint8_t limit = limitFor(frame_.codesBefore, encoding_.usedPhrases().size());
        std::vector<std::pair<std::int64_t, std::uint32_t>> losing;
        for (std::size_t p = 0; p < candidates_.size(); ++p) {
            const std::int64_t uses = encoding_.phraseUses[p];
            if (!alive_[p] || uses == 0) continue;
            const std::int64_t line = phraseCost_[p];
            const std::int64_t saving =
                uses * (line - phraseWidth_[p]) -
                (line + widthOf(static_cast<std::uint32_t>(encoding_.phrases[p].size()), limit));
            if (saving <= 0) losing.push_back({saving, static_cast<std::uint32_t>(p)});
        }
        std::sort(losing.begin(), losing.end());
        const std::size_t dropping = std::min(losing.size(), std::max<std::size_t>(kFewestDropped, losing.size() * kDroppedShare / 100));
        for (std::size_t i = 0; i < dropping; ++i) alive_[losing[i].second] = false;
        return dropping > 0;
    }

    // Widths from the ranks by use; true when any width changed.
    bool rankWidths() {
        const std::vector<std::uint32_t> used = encoding_.usedPhrases();
        const std::uint8_t limit = limitFor(frame_.codesBefore, used.size());
        std::vector<std::uint32_t> chars(charWidth_.size());
        std::iota(chars.begin(), chars.end(), 0u);
        bool changed = false;
        auto set = [&](std::uint8_t& width, int value) {
            changed = changed || width != value;
            width = static_cast<std::uint8_t>(value);
        };
        const auto charOrder = rankByUse(encoding_.charUses, chars);
        for (std::size_t rank = 0; rank < charOrder.size(); ++rank)
            set(charWidth_[charOrder[rank]], widthOf(static_cast<std::uint32_t>(rank), limit));
        const auto phraseOrder = rankByUse(encoding_.phraseUses, used);
        const int unusedWidth = widthOf(static_cast<std::uint32_t>(frame_.codesBefore + used.size()), limit);
        for (std::size_t p = 0; p < phraseWidth_.size(); ++p)
            if (encoding_.phraseUses[p] == 0) set(phraseWidth_[p], unusedWidth);
        for (std::size_t rank = 0; rank < phraseOrder.size(); ++rank)
            set(phraseWidth_[phraseOrder[rank]], widthOf(static_cast<std::uint32_t>(frame_.codesBefore + rank), limit));
        return changed;
    }

    // Phrases that save least first.
    std::vector<std::uint32_t> removalOrder(const Encoding& e) const {
        std::vector<std::uint32_t> order = e.usedPhrases();
        std::vector<std::int64_t> saving(candidates_.size(), 0);
        for (std::uint32_t p : order)
            saving[p] = static_cast<std::int64_t>(e.phraseUses[p]) * (phraseCost_[p] - phraseWidth_[p]) - phraseCost_[p];
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return saving[a] < saving[b]; });
        return order;
    }

    std::vector<Chars> texts_;
    std::vector<Chars> candidates_;
    const EncodingFrame& frame_;
    std::uint32_t depthLimit_;
    std::vector<MatchTable> textMatches_;
    std::vector<MatchTable> phraseMatches_;
    std::vector<bool> alive_;
    std::vector<std::uint32_t> depth_;
    std::vector<std::uint8_t> charWidth_;
    std::vector<std::uint8_t> phraseWidth_;
    std::vector<int> phraseCost_;
    std::vector<int> textCost_;
    std::vector<std::vector<std::uint32_t>> linesWith_;  // per candidate: lines it stands in (texts, then T + phrase)
    Tokens scratchTokens_;
    std::size_t usedCount_ = 0;                   // phrases in use, during a sweep
    std::vector<std::uint32_t> charUsesByRank_;  // during a sweep
    Encoding encoding_;
    std::vector<int> cost_;
    std::vector<int> count_;
    std::vector<std::int64_t> popularity_;
    std::vector<std::uint32_t> choice_;
};

// Characters ranked by use take codes 0, 1, ...; phrases are created from
// the least used to the most used, so that the most used is written as F.
TextEncoding writeEncoding(const Encoding& e, const CharTable& standardTable, const EncodingFrame& frame) {
    std::vector<std::uint32_t> chars(standardTable.size());
    std::iota(chars.begin(), chars.end(), 0u);
    const auto charOrder = rankByUse(e.charUses, chars);
    std::vector<std::uint16_t> charCode(standardTable.size());
    TextEncoding result;
    for (std::size_t rank = 0; rank < charOrder.size(); ++rank) {
        charCode[charOrder[rank]] = static_cast<std::uint16_t>(rank);
        result.charTable.push_back(standardTable[charOrder[rank]]);
    }
    const auto phraseOrder = rankByUse(e.phraseUses, e.usedPhrases());
    const std::size_t phraseCount = phraseOrder.size();
    std::vector<std::uint16_t> phraseCode(e.phrases.size(), 0);
    for (std::size_t rank = 0; rank < phraseCount; ++rank)
        phraseCode[phraseOrder[rank]] = static_cast<std::uint16_t>(frame.codesBefore + phraseCount - 1 - rank);
    auto writeLine = [&](const Tokens& line) {
        result.codeLines.push_back(static_cast<std::uint16_t>(line.size()));
        for (std::uint32_t token : line)
            result.codeLines.push_back(isPhrase(token) ? phraseCode[phraseOf(token)] : charCode[token]);
    };
    for (const Tokens& text : e.texts) writeLine(text);
    for (std::size_t rank = phraseCount; rank-- > 0;) writeLine(e.phrases[phraseOrder[rank]]);
    result.codeLines.push_back(0);
    return result;
}

}  // namespace

TextEncoding encodeBest(const TextEncoding& standard, const EncodingFrame& frame) {
    auto depth = phraseNestingDepth(standard.codeLines, frame);
    if (!depth || *depth == 0) return standard;
    auto standardBytes = measureStream(standard.codeLines, frame);
    if (!standardBytes || standard.charTable.size() > frame.codesBefore) return standard;
    Spelled spelled = spellStandard(standard.codeLines, frame);
    std::vector<Chars> candidates = gatherCandidates(spelled);
    Optimizer optimizer(std::move(spelled.texts), standard.charTable.size(), frame, *depth);
    TextEncoding best = writeEncoding(optimizer.run(std::move(candidates)), standard.charTable, frame);
    auto bestBytes = measureStream(best.codeLines, frame);
    if (!bestBytes || *bestBytes >= *standardBytes) return standard;
    if (!checkEncodingLimits(best, standard, frame)) return standard;
    return best;
}

}  // namespace kvz
