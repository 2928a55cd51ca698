// Phrase substitution through an index of sequences.
//
// The result is the one of the plain walk: for every phrase length L from 116
// down to 2, every start position of every line (phrase lines included) is a
// candidate; a candidate is counted over all lines (non-overlapping, left to
// right in each line) and accepted by its cost; an accepted candidate is
// replaced everywhere and appended as a phrase line. The plain walk rescans
// all lines for every candidate. Here each stage keeps a hash table of its
// L-code windows that records, per window, how many windows hash alike and in
// which lines they stand. A candidate whose window stands nowhere else cannot
// be accepted and costs one lookup; the others are counted exactly in just
// the lines that hold them, and the count is kept until one of those lines
// changes. A replacement re-indexes only the lines it changes.
#include <algorithm>
#include <cstring>

#include "compress/compress.h"

namespace kvz {
namespace {

constexpr int kLongestPhrase = 116;
constexpr int kShortestPhrase = 2;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint64_t kRadix = 0x9E3779B97F4A7C15ull;

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

// Non-overlapping occurrences of `s` in `line`, left to right.
int countInLine(const Line& line, Window s) {
    const std::size_t n = line.size(), length = s.size();
    int count = 0;
    std::size_t q = 0;
    while (q + length <= n) {
        if (std::equal(s.begin(), s.end(), line.begin() + static_cast<std::ptrdiff_t>(q))) {
            ++count;
            q += length;
        } else {
            ++q;
        }
    }
    return count;
}

void replaceInLine(Line& line, Window s, std::uint16_t phraseCode) {
    const std::size_t n = line.size(), length = s.size();
    std::size_t read = 0, write = 0;
    while (read < n) {
        if (read + length <= n &&
            std::equal(s.begin(), s.end(), line.begin() + static_cast<std::ptrdiff_t>(read))) {
            line[write++] = phraseCode;
            read += length;
        } else {
            line[write++] = line[read++];
        }
    }
    line.resize(write);
}

// The windows of one stage's length, by hash. Postings (one per window: the
// line it stands in) are linked lists in a pool that is emptied per stage.
class WindowIndex {
public:
    struct Bucket {
        std::uint64_t hash = 0;
        std::uint32_t stage = 0;     // the bucket is in use when equal to the current stage
        std::uint32_t windows = 0;   // windows with this hash
        std::uint32_t postings = kNone;
        std::int32_t exactCount = -1;  // cached count of `cached` (-1: none)
        std::uint32_t cached = kNone;  // offset of the counted window in the window store
    };

    void startStage(std::uint32_t stage, std::size_t length, std::size_t expectedWindows) {
        stage_ = stage;
        length_ = length;
        used_ = 0;
        pool_.clear();
        store_.clear();
        std::size_t capacity = 64;
        while (capacity < expectedWindows * 2) capacity *= 2;
        if (table_.size() < capacity) table_.resize(capacity);
        mask_ = capacity - 1;
    }

    Bucket& find(std::uint64_t hash) {
        std::size_t slot = slotMix(hash) & mask_;
        while (table_[slot].stage == stage_ && table_[slot].hash != hash) slot = (slot + 1) & mask_;
        Bucket& bucket = table_[slot];
        if (bucket.stage != stage_) {
            bucket = Bucket{hash, stage_, 0, kNone, -1, kNone};
            if (++used_ * 2 > mask_ + 1) {
                grow();
                return find(hash);
            }
        }
        return bucket;
    }

    void add(std::uint64_t hash, std::uint32_t line) {
        Bucket& bucket = find(hash);
        pool_.push_back(Posting{line, bucket.postings});
        bucket.postings = static_cast<std::uint32_t>(pool_.size() - 1);
        ++bucket.windows;
        bucket.exactCount = -1;
    }

    void remove(std::uint64_t hash, std::uint32_t line) {
        Bucket& bucket = find(hash);
        std::uint32_t* link = &bucket.postings;
        while (*link != kNone && pool_[*link].line != line) link = &pool_[*link].next;
        if (*link == kNone) return;
        *link = pool_[*link].next;
        --bucket.windows;
        bucket.exactCount = -1;
    }

    template <class Visit>
    void forEachPosting(const Bucket& bucket, Visit visit) const {
        for (std::uint32_t p = bucket.postings; p != kNone; p = pool_[p].next) visit(pool_[p].line);
    }

    void remember(Bucket& bucket, Window window, int count) {
        bucket.cached = static_cast<std::uint32_t>(store_.size());
        store_.insert(store_.end(), window.begin(), window.end());
        bucket.exactCount = count;
    }

    bool remembers(const Bucket& bucket, Window window) const {
        return bucket.exactCount >= 0 &&
               std::equal(window.begin(), window.end(), store_.begin() + bucket.cached);
    }

private:
    struct Posting {
        std::uint32_t line;
        std::uint32_t next;
    };

    void grow() {
        std::vector<Bucket> live;
        for (std::size_t i = 0; i <= mask_; ++i)
            if (table_[i].stage == stage_) live.push_back(table_[i]);
        const std::size_t capacity = (mask_ + 1) * 2;
        table_.assign(std::max(table_.size(), capacity), Bucket{});
        mask_ = capacity - 1;
        for (const Bucket& bucket : live) {
            std::size_t slot = slotMix(bucket.hash) & mask_;
            while (table_[slot].stage == stage_) slot = (slot + 1) & mask_;
            table_[slot] = bucket;
        }
    }

    std::vector<Bucket> table_;
    std::vector<Posting> pool_;
    std::vector<std::uint16_t> store_;
    std::size_t mask_ = 0;
    std::size_t used_ = 0;
    std::size_t length_ = 0;
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
        index_.startStage(static_cast<std::uint32_t>(kLongestPhrase + 1 - length), length_,
                          windowCount());
        for (std::size_t i = 0; i < lines_.size(); ++i) indexLine(static_cast<std::uint32_t>(i), true);
        for (std::size_t i = 0; i < lines_.size(); ++i) walkLine(static_cast<std::uint32_t>(i));
    }

    std::vector<Line> takeLines() { return std::move(lines_); }

private:
    std::size_t windowCount() const {
        std::size_t windows = 0;
        for (const Line& line : lines_)
            if (line.size() >= length_) windows += line.size() - length_ + 1;
        return windows;
    }

    std::uint64_t roll(std::uint64_t hash, std::uint16_t leaving, std::uint16_t entering) const {
        return (hash - (leaving + 1ull) * topPower_) * kRadix + entering + 1;
    }

    // Adds (or removes) every window of the line to the index.
    void indexLine(std::uint32_t lineNumber, bool adding) {
        const Line& line = lines_[lineNumber];
        if (line.size() < length_) return;
        std::uint64_t hash = hashWindow(Window(line.data(), length_));
        for (std::size_t p = 0;; ++p) {
            if (adding)
                index_.add(hash, lineNumber);
            else
                index_.remove(hash, lineNumber);
            if (p + length_ >= line.size()) break;
            hash = roll(hash, line[p], line[p + length_]);
        }
    }

    // Tries every start position of the line; an accepted candidate changes
    // the line, so the next window is hashed afresh.
    void walkLine(std::uint32_t lineNumber) {
        std::uint64_t hash = 0;
        bool fresh = true;
        for (std::size_t p = 0; p + length_ <= lines_[lineNumber].size(); ++p) {
            const Line& line = lines_[lineNumber];
            hash = fresh ? hashWindow(Window(line.data() + p, length_))
                         : roll(hash, line[p - 1], line[p - 1 + length_]);
            fresh = tryCandidate(lineNumber, p, hash);
        }
    }

    // Returns true when the candidate was accepted (its line changed).
    bool tryCandidate(std::uint32_t lineNumber, std::size_t p, std::uint64_t hash) {
        WindowIndex::Bucket& bucket = index_.find(hash);
        if (bucket.windows < 2) return false;
        const Window window(lines_[lineNumber].data() + p, length_);
        int count;
        if (index_.remembers(bucket, window)) {
            count = bucket.exactCount;
        } else {
            count = exactCount(bucket, window);
            index_.remember(bucket, window, count);
        }
        if (!accepted(count, costOf(window, limit_))) return false;
        const Line candidate(window.begin(), window.end());
        replaceEverywhere(bucket, candidate);
        appendPhraseLine(candidate);
        return true;
    }

    // The distinct lines that the bucket's windows stand in.
    std::vector<std::uint32_t> linesOf(const WindowIndex::Bucket& bucket) {
        if (seen_.size() < lines_.size()) seen_.resize(lines_.size(), 0);
        ++visit_;
        std::vector<std::uint32_t> result;
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
        std::vector<std::uint32_t> changed;
        for (std::uint32_t line : linesOf(bucket))
            if (countInLine(lines_[line], candidate) > 0) changed.push_back(line);
        for (std::uint32_t line : changed) {
            indexLine(line, false);
            replaceInLine(lines_[line], candidate, nextCode_);
            indexLine(line, true);
        }
    }

    void appendPhraseLine(const Line& candidate) {
        lines_.push_back(candidate);
        indexLine(static_cast<std::uint32_t>(lines_.size() - 1), true);
        nextCode_ = static_cast<std::uint16_t>(nextCode_ + 1);
    }

    std::vector<Line> lines_;
    std::uint16_t nextCode_;
    std::uint8_t limit_;
    std::size_t length_ = 0;
    std::uint64_t topPower_ = 1;
    WindowIndex index_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t visit_ = 0;
};

std::vector<Line> splitCodeLines(const CodeLines& codeLines) {
    std::vector<Line> lines;
    std::size_t at = 0;
    while (at < codeLines.size() && codeLines[at] != 0) {
        const std::size_t end = std::min(codeLines.size(), at + 1 + codeLines[at]);
        lines.emplace_back(codeLines.begin() + static_cast<std::ptrdiff_t>(at + 1),
                           codeLines.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    return lines;
}

CodeLines joinLines(const std::vector<Line>& lines) {
    CodeLines codeLines;
    for (const Line& line : lines) {
        codeLines.push_back(static_cast<std::uint16_t>(line.size()));
        codeLines.insert(codeLines.end(), line.begin(), line.end());
    }
    codeLines.push_back(0);
    return codeLines;
}

}  // namespace

void substitutePhrases(CodeLines& codeLines, std::uint16_t codesBefore,
                       const PhraseProgress& progress) {
    PhraseFinder finder(splitCodeLines(codeLines), codesBefore);
    for (int length = kLongestPhrase; length >= kShortestPhrase; --length) {
        if (progress) progress(length - 2);
        finder.runStage(length);
    }
    codeLines = joinLines(finder.takeLines());
}

}  // namespace kvz
