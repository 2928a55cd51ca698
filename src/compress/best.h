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

// The number of phrase lines behind the text lines.
std::int32_t countPhraseLines(const CodeLines& codeLines, const EncodingFrame& frame);

// Bytes of encode8's stream for `codeLines`, or encode8's reason.
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

// The encoding with the fewest stream bytes found from the default path's
// `standard` (the table sorted by sortCharTable, the lines after
// substitutePhrases): characters reordered by their use, phrases taken from
// the default search and from pairing the most frequent neighbours, every
// line parsed into the fewest bytes, phrases that do not pay dropped. The
// result passes checkEncodingLimits, and its stream is smaller than the
// standard's; when nothing smaller is found it is `standard` itself. The
// same input always gives the same result.
TextEncoding encodeBest(const TextEncoding& standard, const EncodingFrame& frame);

}  // namespace kvz
