// Use counts, the exact stream size they give, and the encoding written
// from them.
#include "compress/best_tally_internal.h"

#include <algorithm>
#include <numeric>

namespace kvz::detail {
namespace {

// Sum of the `count` largest values.
std::int64_t largestSum(std::vector<std::uint32_t>& values, std::size_t count) {
    count = std::min(count, values.size());
    if (count == 0) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count - 1), values.end(),
                     std::greater<>());
    return std::accumulate(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count), std::int64_t{0});
}

}  // namespace

void countUses(Encoding& encoding) {
    std::fill(encoding.charUses.begin(), encoding.charUses.end(), 0);
    std::fill(encoding.phraseUses.begin(), encoding.phraseUses.end(), 0);
    for (const Tokens& text : encoding.texts) addUses(encoding, text, 1);
    // A phrase line holds only lower ids: every use of p is counted before p.
    for (std::size_t p = encoding.phrases.size(); p-- > 0;) {
        if (encoding.phraseUses[p] == 0) {
            encoding.phrases[p].clear();
            continue;
        }
        addUses(encoding, encoding.phrases[p], 1);
    }
}

void addUses(Encoding& encoding, const Tokens& line, std::int64_t times) {
    for (std::uint32_t token : line) {
        std::uint32_t& uses = isPhrase(token) ? encoding.phraseUses[phraseOf(token)] : encoding.charUses[token];
        uses = static_cast<std::uint32_t>(uses + times);
    }
}

std::vector<std::uint32_t> usedPhrases(const Encoding& encoding) {
    std::vector<std::uint32_t> used;
    for (std::size_t p = 0; p < encoding.phraseUses.size(); ++p)
        if (encoding.phraseUses[p] > 0) used.push_back(static_cast<std::uint32_t>(p));
    return used;
}

std::vector<std::uint32_t> rankByUse(const std::vector<std::uint32_t>& uses, const std::vector<std::uint32_t>& ids) {
    std::vector<std::uint32_t> order = ids;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return uses[a] != uses[b] ? uses[a] > uses[b] : a < b;
    });
    return order;
}

std::uint8_t limitFor(const EncodingFrame& frame, std::size_t phrases) {
    return bestStreamLimit(static_cast<std::uint32_t>(frame.codesBefore + phrases), frame);
}

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
    const auto phraseOrder = rankByUse(e.phraseUses, usedPhrases(e));
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

StreamTally::StreamTally(Encoding& encoding, const EncodingFrame& frame) : e_(encoding), frame_(frame) {
    const std::size_t textCount = e_.texts.size();
    lineLength_.assign(textCount + e_.phrases.size(), 0);
    lineAlive_.assign(lineLength_.size(), false);
    occurrences_.assign(e_.phrases.size(), {});
    for (std::size_t t = 0; t < textCount; ++t) noteLine(static_cast<std::uint32_t>(t), e_.texts[t]);
    for (std::uint32_t p : usedPhrases(e_)) {
        noteLine(static_cast<std::uint32_t>(textCount + p), e_.phrases[p]);
        ++phraseCount_;
    }
}

namespace {

// The header (B - 1, F, P), the group table, every line's length word, and
// every code: the `limit` most used characters and the phrases ranked below
// B - F take one byte, every other code two. `scratch` spares allocations.
std::int64_t streamBytesOf(const std::vector<std::uint32_t>& lengthCount, const Encoding& e, std::size_t phraseCount,
                           const EncodingFrame& frame, std::vector<std::uint32_t>& scratch) {
    const std::uint8_t limit = limitFor(frame, phraseCount);
    std::int64_t total = 1 + widthOf(frame.codesBefore, limit) + widthOf(static_cast<std::uint32_t>(phraseCount), limit);
    std::uint64_t firstEntry = 0;
    for (std::uint32_t count : frame.groupCounts) {
        total += widthOf(static_cast<std::uint32_t>(std::min<std::uint64_t>(firstEntry, 0xFFFF)), limit) +
                 widthOf(std::min<std::uint32_t>(count, 0xFFFF), limit);
        firstEntry += count;
    }
    for (std::size_t length = 0; length < lengthCount.size(); ++length)
        total += static_cast<std::int64_t>(lengthCount[length]) * widthOf(static_cast<std::uint32_t>(length), limit);
    scratch = e.charUses;
    const std::int64_t charTotal = std::accumulate(scratch.begin(), scratch.end(), std::int64_t{0});
    total += 2 * charTotal - largestSum(scratch, limit);
    scratch = e.phraseUses;
    const std::int64_t phraseTotal = std::accumulate(scratch.begin(), scratch.end(), std::int64_t{0});
    const std::size_t onePhraseBytes = limit > frame.codesBefore ? limit - frame.codesBefore : 0;
    total += 2 * phraseTotal - largestSum(scratch, onePhraseBytes);
    return total;
}

}  // namespace

std::int64_t tallyStream(const Encoding& encoding, const EncodingFrame& frame) {
    std::vector<std::uint32_t> lengthCount;
    auto note = [&](const Tokens& line) {
        if (line.empty()) return;
        if (lengthCount.size() <= line.size()) lengthCount.resize(line.size() + 1, 0);
        ++lengthCount[line.size()];
    };
    for (const Tokens& text : encoding.texts) note(text);
    const std::vector<std::uint32_t> used = usedPhrases(encoding);
    for (std::uint32_t p : used) note(encoding.phrases[p]);
    std::vector<std::uint32_t> scratch;
    return streamBytesOf(lengthCount, encoding, used.size(), frame, scratch);
}

std::int64_t StreamTally::bytes() { return streamBytesOf(lengthCount_, e_, phraseCount_, frame_, scratch_); }

bool StreamTally::inlineIfSmaller(std::uint32_t p) {
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

std::int64_t StreamTally::inliningCost(std::uint32_t p) {
    const std::int64_t before = bytes();
    applyUses(p, 1);
    const std::int64_t after = bytes();
    applyUses(p, -1);
    return after - before;
}

void StreamTally::inlinePhrase(std::uint32_t p) {
    applyUses(p, 1);
    rewriteLines(p);
}

void StreamTally::noteLine(std::uint32_t line, const Tokens& tokens) {
    lineAlive_[line] = true;
    setLength(line, static_cast<std::uint32_t>(tokens.size()));
    for (std::uint32_t token : tokens)
        if (isPhrase(token)) occurrences_[phraseOf(token)].push_back(line);
}

void StreamTally::setLength(std::uint32_t line, std::uint32_t length) {
    if (lineAlive_[line] && lineLength_[line] > 0) --lengthCount_[lineLength_[line]];
    lineLength_[line] = length;
    if (length > 0) {
        if (lengthCount_.size() <= length) lengthCount_.resize(length + 1, 0);
        ++lengthCount_[length];
    }
}

Tokens& StreamTally::lineTokens(std::uint32_t line) {
    return line < e_.texts.size() ? e_.texts[line] : e_.phrases[line - e_.texts.size()];
}

// direction 1: the counts as if p were inlined; -1: undo that.
void StreamTally::applyUses(std::uint32_t p, int direction) {
    const Tokens& content = e_.phrases[p];
    const std::uint32_t ownLine = static_cast<std::uint32_t>(e_.texts.size() + p);
    const std::int64_t uses = direction > 0 ? e_.phraseUses[p] : savedUses_;
    if (direction > 0) savedUses_ = e_.phraseUses[p];
    // Its line goes; each use now writes the content.
    addUses(e_, content, direction * (uses - 1));
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

void StreamTally::rewriteLines(std::uint32_t p) {
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
            if (token != phraseToken(p)) {
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

}  // namespace kvz::detail
