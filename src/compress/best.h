// The optimising encoder behind --best: the same device format as the
// default path (header, F, phrase table, group table, entry texts), with the
// character order, the phrase set and the parse of every line chosen for the
// fewest stream bytes.
#pragma once

#include <cstdint>
#include <span>

#include "common/result.h"
#include "compress/compress.h"
#include "input/kvz.h"

namespace kvz {

// What the stream is written from: the character table (code i is entry i,
// and its glyph is cell i) and the code lines (the text lines, then the
// phrase lines in order of creation: phrase line k holds phrase code F + k).
struct TextEncoding {
    CharTable charTable;
    CodeLines codeLines;
};

// Where the encoding's lines stand and what encode8 needs besides them.
struct EncodingFrame {
    std::uint32_t linesBefore = 0;  // text lines (group names, then entries)
    std::uint16_t codesBefore = 0;  // F: codes below it are characters
    GroupCounts groupCounts{};
};

// The one-byte limit of --best's streams of `codeCount` codes: streamLimit,
// or lower where the group table's values would not fit under it. With
// fewer phrases than the default's, an encoding has fewer codes and so a
// higher limit, under which the values stop lower; the header tells the
// reader the limit, so a lower one reads alike. The same as streamLimit
// wherever the group table fits that, as it does for the default's stream.
std::uint8_t bestStreamLimit(std::uint32_t codeCount, const EncodingFrame& frame);

// The number of phrase lines behind the text lines.
std::int32_t countPhraseLines(const CodeLines& codeLines, const EncodingFrame& frame);

// encode8's stream for `codeLines` under bestStreamLimit, or its reason.
Result<std::vector<std::uint8_t>> writeBestStream(const CodeLines& codeLines, const EncodingFrame& frame);
// Bytes of writeBestStream's stream, or its reason.
Result<std::size_t> measureStream(const CodeLines& codeLines, const EncodingFrame& frame);

// The deepest nesting of phrases: 0 without phrase lines, 1 when no phrase
// line holds a phrase code, else 1 more than the deepest phrase a phrase
// line holds. Fails on a phrase code without its line and on a phrase that
// contains itself, directly or through others.
Result<std::uint32_t> phraseNestingDepth(const CodeLines& codeLines, const EncodingFrame& frame);

// Checks that `candidate` says exactly what `standard` (the default path's
// encoding of the same deck) says, within the limits the device and the
// default path keep: the same characters, each text line expanding to the
// same characters; phrase codes only from F to F + P - 1, each used and each
// expanding to a sequence that stands in a text; phrase lines of 1 to 116
// codes; no cycle; nesting no deeper than `standard` nests; a stream that
// encode8 writes (every value within the stream's limits).
Status checkEncodingLimits(const TextEncoding& candidate, const TextEncoding& standard,
                           const EncodingFrame& frame);

// The work of the optimising encoder is counted in steps, never timed, so
// that a deck gives the same image on every machine and every run. A step is
// about one position or phrase match that a parse goes through; a symbol
// that the pairing of neighbours goes through and a trie node that a phrase
// search visits count as more, eight values that a stream tally sums as one.
// kBestSteps is what --best may spend on one deck: the bundled decks and
// the generated ones up to 96 KiB of text get the images an unbounded
// search gives, and any deck that fits converts within 2 s on the
// development machine.
inline constexpr std::uint64_t kBestSteps = 100'000'000;

// What encodeBest may spend, what it spent, and what it had found at a
// glance: by the first point past `glance` steps where it could stop, so
// that one search tells what a search within `glance` steps would give.
struct BestWork {
    std::uint64_t limit = kBestSteps;
    std::uint64_t glance = 0;
    std::uint64_t spent = 0;
    bool pastGlance = false;
    std::size_t streamAtGlance = 0;  // bytes of encode8's stream; the standard's when nothing smaller

    // Asked wherever the search can stop: true once the limit is reached,
    // and it must. Notes when the search gets past its glance.
    bool stopHere() {
        pastGlance = pastGlance || spent >= glance;
        return spent >= limit;
    }
};

// The encoding with the fewest stream bytes found from the default path's
// `standard` (the table sorted by sortCharTable, the lines after
// substitutePhrases): characters reordered by their use, phrases taken from
// the default search and from pairing the most frequent neighbours, every
// line parsed into the fewest bytes, phrases that do not pay dropped. The
// result passes checkEncodingLimits, and its stream is smaller than the
// standard's; when nothing smaller is found it is `standard` itself. The
// same input and limit always give the same result.
//
// The search is the same whatever the limit up to the first point past
// work.limit steps where it can stop (it overruns the limit by at most one
// round of pairing, one line's parse or one phrase's moves); the result is
// the smallest encoding it had found by then. So a larger limit never gives
// a larger stream (provided every result passes checkEncodingLimits, as it
// must): what fits the device within some limit fits it within every larger
// one. work.streamAtGlance is the stream that a limit of work.glance gives.
TextEncoding encodeBest(const TextEncoding& standard, const EncodingFrame& frame, BestWork& work);
// The same within kBestSteps.
TextEncoding encodeBest(const TextEncoding& standard, const EncodingFrame& frame);

}  // namespace kvz
