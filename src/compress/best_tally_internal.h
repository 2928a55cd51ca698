// Internals of the optimising encoder: a parse of every line with the use
// counts of every symbol, the exact stream size those give, and the
// encoding written from them.
#pragma once

#include <cstdint>
#include <vector>

#include "compress/best.h"
#include "compress/best_parse_internal.h"

namespace kvz::detail {

// A parse of every line and how often each character and phrase is written.
struct Encoding {
    std::vector<Tokens> texts;
    std::vector<Tokens> phrases;          // by candidate id; empty when not used
    std::vector<std::uint32_t> charUses;  // by character
    std::vector<std::uint32_t> phraseUses;  // by candidate id
};

// Counts the uses from the text lines, and from the lines of phrases in use;
// the lines of phrases left unused are cleared. A phrase line must hold only
// phrases of lower ids.
void countUses(Encoding& encoding);

// Adds `times` uses of every token of `line`.
void addUses(Encoding& encoding, const Tokens& line, std::int64_t times);

// The ids of the phrases in use, in order.
std::vector<std::uint32_t> usedPhrases(const Encoding& encoding);

// `ids` ordered by `uses`, most used first, ties by id.
std::vector<std::uint32_t> rankByUse(const std::vector<std::uint32_t>& uses, const std::vector<std::uint32_t>& ids);

// Bytes of a value under the one-byte limit.
inline int widthOf(std::uint32_t value, std::uint8_t limit) { return value < limit ? 1 : 2; }

// The one-byte limit of a stream with `phrases` phrase lines
// (bestStreamLimit).
std::uint8_t limitFor(const EncodingFrame& frame, std::size_t phrases);

// The encoding written from `encoding`, whose counts must be those of its
// lines: characters ranked by use take codes 0, 1, ...; phrases are created
// from the least used to the most used, so that the most used is written
// as F. `standardTable` is the character table the characters number.
TextEncoding writeEncoding(const Encoding& encoding, const CharTable& standardTable, const EncodingFrame& frame);

// The exact bytes of encode8's stream for writeEncoding(encoding), worked
// out from the use counts and line lengths alone; the counts must be those
// of its lines, and the frame's F above every text line's length.
std::int64_t tallyStream(const Encoding& encoding, const EncodingFrame& frame);

// The same, kept up to date while phrases are inlined one at a time. The
// encoding's counts must be those of its lines, and the frame's F above
// every text line's length.
class StreamTally {
public:
    StreamTally(Encoding& encoding, const EncodingFrame& frame);

    std::int64_t bytes();

    // Inlines phrase p (writes its line wherever it is used, and drops it)
    // when that makes the stream smaller; true when it did.
    bool inlineIfSmaller(std::uint32_t p);
    // Bytes that inlining phrase p (in use) would add, negative where it
    // saves; the encoding is left as it is.
    std::int64_t inliningCost(std::uint32_t p);
    // Inlines phrase p, which must be in use, whatever that costs.
    void inlinePhrase(std::uint32_t p);
    // The phrases in use.
    std::size_t phraseCount() const { return phraseCount_; }

private:
    void noteLine(std::uint32_t line, const Tokens& tokens);
    void setLength(std::uint32_t line, std::uint32_t length);
    Tokens& lineTokens(std::uint32_t line);
    void applyUses(std::uint32_t p, int direction);
    void rewriteLines(std::uint32_t p);

    Encoding& e_;
    const EncodingFrame& frame_;
    std::size_t phraseCount_ = 0;
    std::vector<std::uint32_t> lineLength_;  // texts, then phrase lines by id
    std::vector<bool> lineAlive_;
    std::vector<std::uint32_t> lengthCount_;               // lines of each length
    std::vector<std::vector<std::uint32_t>> occurrences_;  // per phrase: its lines, once per use
    std::vector<std::uint32_t> scratch_;
    std::uint32_t savedUses_ = 0;
};

}  // namespace kvz::detail
