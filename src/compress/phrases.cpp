// Phrase substitution through an index of sequences.
//
// The result is the one of the plain walk: for every phrase length L from 116
// down to 2, every start position of every line (phrase lines included) is a
// candidate; a candidate is counted over all lines (non-overlapping, left to
// right in each line) and accepted by its cost; an accepted candidate is
// replaced everywhere and appended as a phrase line. The plain walk rescans
// all lines for every candidate, which grows with the square of the text.
//
// Here each stage keeps a hash table of its L-code windows that records, per
// window, how many windows hash alike and in which lines they stand. A
// candidate whose window stands nowhere else cannot be accepted and costs one
// look at its bucket; the others are counted exactly in just the lines that
// hold them, and the count is kept until one of those lines changes. A
// replacement re-indexes only the windows it touches. Lines whose longest
// repeated window is shorter than L (see repeatBounds) are left out of the
// stage altogether: nothing in them can be accepted or replaced.
#include <algorithm>

#include "common/layout.h"
#include "compress/compress.h"

namespace kvz {
namespace {

constexpr int kShortestPhrase = 2;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint64_t kRadix = 0x9E3779B97F4A7C15ull;
constexpr std::size_t kMostPairedPlaces = 64;  // beyond, changed lines lose their bounds
constexpr std::uint32_t kShortLine = 16;

using Line = std::vector<std::uint16_t>;
using Window = std::span<const std::uint16_t>;

std::uint64_t slotMix(std::uint64_t h) {
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return h;
}

std::uint64_t hashWindow(Window window) {
    std::uint64_t h = 0;
    for (std::uint16_t code : window) h = h * kRadix + code + 1;
    return h;
}

int costOf(Window window, std::uint8_t limit) {
    int cost = 0;
    for (std::uint16_t code : window) cost += code < limit ? 1 : 2;
    return cost;
}

bool accepted(int count, int cost) { return count * cost > cost + 2 * count + 1; }

bool windowAt(const Line& line, std::size_t q, Window s) {
    return line[q] == s[0] &&
           std::equal(s.begin() + 1, s.end(), line.begin() + static_cast<std::ptrdiff_t>(q + 1));
}

// Non-overlapping occurrences of `s` in `line`, left to right.
int countInLine(const Line& line, Window s) {
    const std::size_t n = line.size(), length = s.size();
    int count = 0;
    std::size_t q = 0;
    while (q + length <= n) {
        if (windowAt(line, q, s)) {
            ++count;
            q += length;
        } else {
            ++q;
        }
    }
    return count;
}

// Replaces the occurrences that countInLine counts; `places` receives where
// they began.
void replaceInLine(Line& line, Window s, std::uint16_t phraseCode, std::vector<std::size_t>& places) {
    places.clear();
    const std::size_t n = line.size(), length = s.size();
    std::size_t read = 0, write = 0;
    while (read < n) {
        if (read + length <= n && windowAt(line, read, s)) {
            places.push_back(read);
            line[write++] = phraseCode;
            read += length;
        } else {
            line[write++] = line[read++];
        }
    }
    line.resize(write);
}

// For every line, the length of its longest window that also stands at
// another place (in any line, or elsewhere in the same line). A line whose
// bound is below L has no L-code window that occurs twice, so no candidate of
// the stage for L can be accepted in it, and no accepted candidate occurs in
// it. Computed with a suffix array of all lines, each ended by a separator
// that occurs nowhere else, and the longest common prefixes of neighbours.
//
// Short lines (kShortLine codes or fewer) stay out of the suffix array: a
// window shared with one is no longer than kShortLine, so every other line's
// bound is at least kShortLine, and a short line's bound is its length.
std::vector<std::uint32_t> repeatBounds(const std::vector<Line>& lines) {
    // Codes renumbered densely in code order, separators behind them.
    std::vector<std::uint32_t> denseCode(0x10000, 0);
    for (const Line& line : lines)
        for (std::uint16_t code : line) denseCode[code] = 1;
    std::uint32_t symbols = 0;
    for (std::uint32_t& code : denseCode) code = code ? symbols++ : 0;

    std::vector<std::uint32_t> bounds(lines.size(), 0);
    std::vector<std::uint32_t> text;
    std::vector<std::uint32_t> lineOf;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].size() <= kShortLine) {
            bounds[i] = static_cast<std::uint32_t>(lines[i].size());
            continue;
        }
        bounds[i] = kShortLine;
        for (std::uint16_t code : lines[i]) {
            text.push_back(denseCode[code]);
            lineOf.push_back(static_cast<std::uint32_t>(i));
        }
        text.push_back(static_cast<std::uint32_t>(symbols + i));  // separator
        lineOf.push_back(static_cast<std::uint32_t>(i));
    }
    const std::size_t n = text.size();
    if (n == 0) return bounds;

    // Prefix doubling with counting sorts.
    std::vector<std::uint32_t> sa(n), rank(text), next(n), order(n);
    std::size_t alphabet = symbols + lines.size();
    std::vector<std::uint32_t> bucket;
    auto countingSort = [&](const std::vector<std::uint32_t>& input, std::vector<std::uint32_t>& output) {
        bucket.assign(alphabet + 1, 0);
        for (std::uint32_t i : input) ++bucket[rank[i] + 1];
        for (std::size_t c = 1; c <= alphabet; ++c) bucket[c] += bucket[c - 1];
        for (std::uint32_t i : input) output[bucket[rank[i]]++] = i;
    };
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
    countingSort(order, sa);
    for (std::size_t k = 1;; k *= 2) {
        // Re-rank by the first k symbols.
        next[sa[0]] = 0;
        for (std::size_t i = 1; i < n; ++i) {
            const std::uint32_t a = sa[i - 1], b = sa[i];
            const bool same = rank[a] == rank[b] &&
                              (k == 1 || ((a + k / 2 < n ? rank[a + k / 2] + 1 : 0) ==
                                          (b + k / 2 < n ? rank[b + k / 2] + 1 : 0)));
            next[b] = next[a] + (same ? 0 : 1);
        }
        rank.swap(next);
        alphabet = rank[sa[n - 1]] + 1;
        if (alphabet == n) break;
        // Sort by (rank[i], rank[i + k]): by the second key first, then stably by the first.
        std::size_t filled = 0;
        for (std::size_t i = n > k ? n - k : 0; i < n; ++i) order[filled++] = static_cast<std::uint32_t>(i);
        for (std::size_t i = 0; i < n; ++i)
            if (sa[i] >= k) order[filled++] = static_cast<std::uint32_t>(sa[i] - k);
        countingSort(order, sa);
    }

    // Kasai: lcp[r] = common prefix of the suffixes ranked r - 1 and r.
    std::vector<std::uint32_t> lcp(n + 1, 0);
    std::size_t h = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t r = rank[i];
        if (r == 0) {
            h = 0;
            continue;
        }
        const std::size_t j = sa[r - 1];
        while (i + h < n && j + h < n && text[i + h] == text[j + h]) ++h;
        lcp[r] = static_cast<std::uint32_t>(h);
        if (h > 0) --h;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t r = rank[i];
        const std::uint32_t longest = std::max(lcp[r], lcp[r + 1]);
        bounds[lineOf[i]] = std::max(bounds[lineOf[i]], longest);
    }
    return bounds;
}

// The windows of one stage's length, by hash. Buckets are numbered densely
// and keep their number for the stage; each lists its windows' lines in a
// linked list of postings.
class WindowIndex {
public:
    struct Bucket {
        std::uint32_t windows = 0;       // windows with this hash
        std::uint32_t postings = kNone;  // one posting (line) per window
        std::int32_t exactCount = -1;    // cached count of the window at `cached` (-1: none)
        std::uint32_t cached = kNone;    // offset into the window store
    };

    void startStage(std::uint32_t stage, std::size_t expectedWindows) {
        stage_ = stage;
        buckets_.clear();
        pool_.clear();
        store_.clear();
        std::size_t capacity = 64;
        while (capacity < expectedWindows * 2) capacity *= 2;
        if (slots_.size() < capacity) slots_.resize(capacity);
        mask_ = capacity - 1;
    }

    std::uint32_t add(std::uint64_t hash, std::uint32_t line) {
        const std::uint32_t id = findOrInsert(hash);
        Bucket& b = buckets_[id];
        pool_.push_back(Posting{line, b.postings});
        b.postings = static_cast<std::uint32_t>(pool_.size() - 1);
        ++b.windows;
        b.exactCount = -1;
        return id;
    }

    void remove(std::uint32_t id, std::uint32_t line) {
        Bucket& b = buckets_[id];
        std::uint32_t* link = &b.postings;
        while (*link != kNone && pool_[*link].line != line) link = &pool_[*link].next;
        if (*link == kNone) return;
        *link = pool_[*link].next;
        --b.windows;
        b.exactCount = -1;
    }

    Bucket& bucket(std::uint32_t id) { return buckets_[id]; }

    template <class Visit>
    void forEachPosting(const Bucket& b, Visit visit) const {
        for (std::uint32_t p = b.postings; p != kNone; p = pool_[p].next) visit(pool_[p].line);
    }

    void remember(Bucket& b, Window window, int count) {
        b.cached = static_cast<std::uint32_t>(store_.size());
        store_.insert(store_.end(), window.begin(), window.end());
        b.exactCount = count;
    }

    bool remembers(const Bucket& b, Window window) const {
        return b.exactCount >= 0 &&
               std::equal(window.begin(), window.end(), store_.begin() + b.cached);
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t stage = 0;  // in use when equal to the current stage
        std::uint32_t id = 0;
    };
    struct Posting {
        std::uint32_t line;
        std::uint32_t next;
    };

    std::uint32_t findOrInsert(std::uint64_t hash) {
        std::size_t slot = slotMix(hash) & mask_;
        while (slots_[slot].stage == stage_) {
            if (slots_[slot].hash == hash) return slots_[slot].id;
            slot = (slot + 1) & mask_;
        }
        const auto id = static_cast<std::uint32_t>(buckets_.size());
        slots_[slot] = Slot{hash, stage_, id};
        buckets_.emplace_back();
        if (buckets_.size() * 2 > mask_ + 1) grow();
        return id;
    }

    void grow() {
        std::vector<Slot> live;
        for (std::size_t i = 0; i <= mask_; ++i)
            if (slots_[i].stage == stage_) live.push_back(slots_[i]);
        const std::size_t capacity = (mask_ + 1) * 2;
        slots_.assign(std::max(slots_.size(), capacity), Slot{});
        mask_ = capacity - 1;
        for (const Slot& s : live) {
            std::size_t slot = slotMix(s.hash) & mask_;
            while (slots_[slot].stage == stage_) slot = (slot + 1) & mask_;
            slots_[slot] = s;
        }
    }

    std::vector<Slot> slots_;
    std::vector<Bucket> buckets_;
    std::vector<Posting> pool_;
    std::vector<std::uint16_t> store_;
    std::size_t mask_ = 0;
    std::uint32_t stage_ = 0;
};

class PhraseFinder {
public:
    PhraseFinder(std::vector<Line> lines, std::uint16_t codesBefore)
        : lines_(std::move(lines)), nextCode_(codesBefore), limit_(getC2Code(codesBefore)) {}

    void runStage(int length) {
        length_ = static_cast<std::size_t>(length);
        topPower_ = 1;
        for (std::size_t i = 1; i < length_; ++i) topPower_ *= kRadix;
        refreshBounds();
        index_.startStage(static_cast<std::uint32_t>(kLongestPhrase + 1 - length_), windowCount());
        windowIds_.resize(lines_.size());  // inactive lines' entries are never read
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (active(i)) indexWholeLine(static_cast<std::uint32_t>(i));
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (active(i)) walkLine(static_cast<std::uint32_t>(i));
    }

    std::vector<Line> takeLines() { return std::move(lines_); }

private:
    struct Place {
        std::uint32_t line;
        std::uint32_t at;
    };

    // Lines that may hold a window of the stage's length that occurs twice.
    bool active(std::size_t line) const { return bounds_[line] >= length_; }

    // The bounds are computed once. A replacement keeps them true: it brings
    // in a new phrase code P, so every window it creates holds P and can
    // only match a window of another changed line at another P, while the
    // other windows of the changed lines stood there before. A changed line
    // thus keeps its bound unless a longer window through P repeats; the new
    // phrase line, whose windows stood in the replaced places, takes its
    // length. Should phrase codes wrap around, P is no longer new: then
    // every line takes its length and the index holds everything.
    void refreshBounds() {
        if (bounds_.empty()) bounds_ = repeatBounds(lines_);
        if (codesWrapped_)
            for (std::size_t i = 0; i < lines_.size(); ++i) loosenBound(i);
    }

    // From the wrap on, every line takes part, this stage included.
    void noteWrapAround() {
        codesWrapped_ = true;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (active(i)) continue;
            loosenBound(i);
            if (active(i)) indexWholeLine(static_cast<std::uint32_t>(i));
        }
    }

    void loosenBound(std::size_t line) {
        if (bounds_.size() <= line) bounds_.resize(line + 1, 0);
        bounds_[line] = static_cast<std::uint32_t>(lines_[line].size());
    }

    // Longest run of equal codes through two places of P, P included.
    std::uint32_t commonRun(Place a, Place b) const {
        const Line& x = lines_[a.line];
        const Line& y = lines_[b.line];
        std::uint32_t left = 0, right = 0;
        while (left < a.at && left < b.at && x[a.at - 1 - left] == y[b.at - 1 - left]) ++left;
        while (a.at + 1 + right < x.size() && b.at + 1 + right < y.size() &&
               x[a.at + 1 + right] == y[b.at + 1 + right])
            ++right;
        return left + 1 + right;
    }

    void raiseBoundsThroughPhrase(const std::vector<Place>& places) {
        if (places.size() > kMostPairedPlaces) {
            for (const Place& place : places) loosenBound(place.line);
            return;
        }
        for (std::size_t i = 0; i < places.size(); ++i)
            for (std::size_t j = i + 1; j < places.size(); ++j) {
                const std::uint32_t run = commonRun(places[i], places[j]);
                bounds_[places[i].line] = std::max(bounds_[places[i].line], run);
                bounds_[places[j].line] = std::max(bounds_[places[j].line], run);
            }
    }

    std::size_t windowCount() const {
        std::size_t windows = 0;
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (active(i) && lines_[i].size() >= length_) windows += lines_[i].size() - length_ + 1;
        return windows;
    }

    std::size_t windowsIn(const Line& line) const {
        return line.size() >= length_ ? line.size() - length_ + 1 : 0;
    }

    std::uint64_t roll(std::uint64_t hash, std::uint16_t leaving, std::uint16_t entering) const {
        return (hash - (leaving + 1ull) * topPower_) * kRadix + entering + 1;
    }

    // Adds the windows starting at first..last (inclusive) to the index.
    void addWindows(std::uint32_t lineNumber, std::size_t first, std::size_t last,
                    std::vector<std::uint32_t>& ids) {
        const Line& line = lines_[lineNumber];
        std::uint64_t hash = hashWindow(Window(line.data() + first, length_));
        for (std::size_t p = first;; ++p) {
            ids[p] = index_.add(hash, lineNumber);
            if (p == last) break;
            hash = roll(hash, line[p], line[p + length_]);
        }
    }

    void indexWholeLine(std::uint32_t lineNumber) {
        std::vector<std::uint32_t>& ids = windowIds_[lineNumber];
        ids.assign(windowsIn(lines_[lineNumber]), kNone);
        if (!ids.empty()) addWindows(lineNumber, 0, ids.size() - 1, ids);
    }

    // After a replacement: the windows that overlapped a replaced place leave
    // the index, the windows through a new phrase code enter it, and every
    // other window keeps its bucket, since its neighbourhood is unchanged.
    void reindexChangedLine(std::uint32_t lineNumber, const std::vector<std::size_t>& oldPlaces,
                            std::size_t oldSize) {
        const std::size_t shrink = length_ - 1;
        std::vector<std::uint32_t>& oldIds = windowIds_[lineNumber];
        const std::size_t oldWindows = oldSize >= length_ ? oldSize - length_ + 1 : 0;
        std::size_t nextOld = 0;  // first old window not yet removed
        for (std::size_t q : oldPlaces) {
            const std::size_t first = std::max(nextOld, q >= shrink ? q - shrink : 0);
            const std::size_t end = std::min(oldWindows, q + length_);
            for (std::size_t i = first; i < end; ++i) index_.remove(oldIds[i], lineNumber);
            nextOld = std::max(nextOld, end);
        }

        std::vector<std::uint32_t>& ids = scratchIds_;
        ids.assign(windowsIn(lines_[lineNumber]), kNone);
        std::size_t k = 0;  // replaced places left of window j
        for (std::size_t j = 0; j < ids.size(); ++j) {
            while (k < oldPlaces.size() && oldPlaces[k] - k * shrink < j) ++k;
            const bool throughPhrase = k < oldPlaces.size() && oldPlaces[k] - k * shrink < j + length_;
            if (!throughPhrase) ids[j] = oldIds[j + k * shrink];
        }
        for (std::size_t j = 0; j < ids.size();) {
            if (ids[j] != kNone) {
                ++j;
                continue;
            }
            std::size_t last = j;
            while (last + 1 < ids.size() && ids[last + 1] == kNone) ++last;
            addWindows(lineNumber, j, last, ids);
            j = last + 1;
        }
        oldIds.swap(ids);
    }

    // Tries every start position of the line.
    void walkLine(std::uint32_t lineNumber) {
        for (std::size_t p = 0; p + length_ <= lines_[lineNumber].size(); ++p)
            tryCandidate(lineNumber, p);
    }

    void tryCandidate(std::uint32_t lineNumber, std::size_t p) {
        WindowIndex::Bucket& bucket = index_.bucket(windowIds_[lineNumber][p]);
        if (bucket.windows < 2) return;
        const Window window(lines_[lineNumber].data() + p, length_);
        int count;
        if (index_.remembers(bucket, window)) {
            count = bucket.exactCount;
        } else {
            count = exactCount(bucket, window);
            index_.remember(bucket, window, count);
        }
        if (!accepted(count, costOf(window, limit_))) return;
        candidate_.assign(window.begin(), window.end());  // its place is about to change
        replaceEverywhere(bucket, candidate_);
        appendPhraseLine(candidate_);
    }

    // The distinct lines that the bucket's windows stand in (valid until the
    // next call).
    const std::vector<std::uint32_t>& linesOf(const WindowIndex::Bucket& bucket) {
        if (seen_.size() < lines_.size()) seen_.resize(lines_.size(), 0);
        ++visit_;
        std::vector<std::uint32_t>& result = scratchLines_;
        result.clear();
        index_.forEachPosting(bucket, [&](std::uint32_t line) {
            if (seen_[line] != visit_) {
                seen_[line] = visit_;
                result.push_back(line);
            }
        });
        return result;
    }

    int exactCount(const WindowIndex::Bucket& bucket, Window window) {
        int count = 0;
        for (std::uint32_t line : linesOf(bucket)) count += countInLine(lines_[line], window);
        return count;
    }

    void replaceEverywhere(const WindowIndex::Bucket& bucket, const Line& candidate) {
        std::vector<Place>& phrasePlaces = scratchPlaces_;
        phrasePlaces.clear();
        std::vector<std::size_t>& oldPlaces = scratchOldPlaces_;
        for (std::uint32_t line : linesOf(bucket)) {
            const std::size_t oldSize = lines_[line].size();
            replaceInLine(lines_[line], candidate, nextCode_, oldPlaces);
            if (oldPlaces.empty()) continue;
            reindexChangedLine(line, oldPlaces, oldSize);
            for (std::size_t k = 0; k < oldPlaces.size(); ++k)
                phrasePlaces.push_back({line, static_cast<std::uint32_t>(oldPlaces[k] - k * (length_ - 1))});
        }
        raiseBoundsThroughPhrase(phrasePlaces);
    }

    void appendPhraseLine(const Line& candidate) {
        lines_.push_back(candidate);
        windowIds_.resize(lines_.size());
        loosenBound(lines_.size() - 1);
        indexWholeLine(static_cast<std::uint32_t>(lines_.size() - 1));
        nextCode_ = static_cast<std::uint16_t>(nextCode_ + 1);
        if (nextCode_ == 0) noteWrapAround();
    }

    std::vector<Line> lines_;
    std::uint16_t nextCode_;
    bool codesWrapped_ = false;  // phrase codes went past 65535: see refreshBounds
    std::uint8_t limit_;
    std::vector<std::uint32_t> bounds_;  // see refreshBounds
    std::size_t length_ = 0;
    std::uint64_t topPower_ = 1;
    WindowIndex index_;
    std::vector<std::vector<std::uint32_t>> windowIds_;  // per line: bucket of each window
    std::vector<std::uint32_t> seen_;
    std::uint32_t visit_ = 0;
    // Reused buffers of the steps above.
    Line candidate_;
    std::vector<std::uint32_t> scratchLines_;
    std::vector<std::uint32_t> scratchIds_;
    std::vector<std::size_t> scratchOldPlaces_;
    std::vector<Place> scratchPlaces_;
};

// The codes of every line, without the length words.
std::vector<Line> linesOf(const CodeLines& codeLines) {
    std::vector<Line> lines;
    for (const auto line : splitCodeLines(codeLines)) lines.emplace_back(line.begin() + 1, line.end());
    return lines;
}

}  // namespace

void substitutePhrases(CodeLines& codeLines, std::uint16_t codesBefore,
                       const PhraseProgress& progress) {
    PhraseFinder finder(linesOf(codeLines), codesBefore);
    for (int length = static_cast<int>(kLongestPhrase); length >= kShortestPhrase; --length) {
        if (progress) progress(length - 2);
        finder.runStage(length);
    }
    codeLines = joinCodeLines(finder.takeLines());
}

}  // namespace kvz
