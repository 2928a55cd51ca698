// Text compression: a character table ordered by frequency, texts as lines of
// 16-bit codes, repeated code sequences replaced by phrase codes, and the
// stream of values below 128 that the device reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "input/kvz.h"

namespace kvz {

// A character (lead and trail byte, or a one-byte character and 0) and how
// often it occurs.
struct CharEntry {
    std::array<std::uint8_t, 2> code{};
    std::uint16_t count = 0;
};
// Distinct characters; after sortCharTable a character's code is its index.
// (No end entry: size() is the number of characters.)
using CharTable = std::vector<CharEntry>;

// Lines of 16-bit words: a length word n >= 1 then n codes; a zero word ends
// the list.
using CodeLines = std::vector<std::uint16_t>;

// Counts the characters of the texts up to the first empty text, in order of
// first appearance. Fails when a character occurs more than 65535 times.
Result<CharTable> countChars(const TextBlock& textBlock);

// Sort order: count of b minus count of a, counts taken as signed 16 bits.
int cmpCode(const CharEntry& a, const CharEntry& b);
// Stable sort by cmpCode: equal counts keep their order of first appearance.
void sortCharTable(CharTable& table);

// One line per text (up to the first empty text), each character coded by
// its index in the table (0 when the table lacks it).
CodeLines encode16(const CharTable& table, const TextBlock& textBlock);

// Every line, its length word included; a line cut short by the end of
// `codeLines` keeps what there is of it.
std::vector<std::span<const std::uint16_t>> splitCodeLines(std::span<const std::uint16_t> codeLines);
// Code lines from lines of codes: each line gets its length word, a zero
// word closes the list.
CodeLines joinCodeLines(std::span<const std::vector<std::uint16_t>> lines);

// Number of lines.
std::uint32_t getLines16(std::span<const std::uint16_t> codeLines);
// One more than the largest word of any line, length words included; 0 when
// there is no line.
std::uint32_t getCodes16(std::span<const std::uint16_t> codeLines);

// Called with L - 2 at the start of every stage (L = 116 down to 2).
using PhraseProgress = std::function<void(int)>;

// Replaces repeated code sequences, longest first (116 down to 2 codes), by
// phrase codes F, F + 1, ..., appending one phrase line per phrase. Exactly
// the result of the literal algorithm, found through an index of sequences.
void substitutePhrases(CodeLines& codeLines, std::uint16_t codesBefore,
                       const PhraseProgress& progress = {});

// One-byte limit for n codes: (16384 - n) / 127, low 8 bits.
std::uint8_t getC2Code(std::int32_t n);
// Appends v in one byte (v < B) or two; returns the number of bytes.
int encode8_1(std::vector<std::uint8_t>& destination, std::uint8_t limit, std::uint16_t v);
// The largest value whose bytes all stay below 128 under limit B.
std::int32_t largestStreamValue(std::uint8_t limit);

// The one-byte limit the stream is written with, for `codeCount` codes of
// which the first `codesBefore` are characters: getC2Code(codeCount), or one
// lower where that limit leaves the header's character count above the
// largest value. That happens only without phrases, when the character count
// is 128 + 127k: its codes stop at count - 1, the count itself is one more.
// The device takes the limit from the header, so the lower one reads alike;
// with it every value up to count + 126 fits.
std::uint8_t streamLimit(std::uint32_t codeCount, std::uint16_t codesBefore);
// True when streamLimit is lower than getC2Code(codeCount).
bool streamLimitLowered(std::uint32_t codeCount, std::uint16_t codesBefore);
// Why such a stream's bytes differ from those of the plain limit, for the
// warning: "with 128 codes and no phrase the stream's values stop at 127,
// below the character count 128; it is written with the one-byte limit 127
// instead of 128, under which they reach 254, so its bytes differ from the
// plain encoding's".
std::string describeLoweredLimit(std::uint32_t codeCount, std::uint16_t codesBefore);

// The stream: header (B - 1, F, P), phrase table (last phrase line first),
// group table (8 lines, each with first-entry index and entry count), entry
// lines, every value under streamLimit. Fails when the file has more codes than the stream can address or a
// value does not fit in bytes below 128; such a reason ends with what the
// user can do ("split the deck", or "split the group, or the deck" for a
// group's entry count).
Result<std::vector<std::uint8_t>> encode8(std::span<const std::uint16_t> codeLines,
                                          std::int32_t phraseLines,
                                          std::uint16_t codesBefore,
                                          const GroupCounts& groupCounts);
// encode8 under the one-byte limit `limit`, which the header tells the
// reader: any limit from 1 up to streamLimit reads alike, and a lower one
// lets larger values fit (the group table's). Fails as encode8 does, and for
// a limit outside that range.
Result<std::vector<std::uint8_t>> encode8(std::span<const std::uint16_t> codeLines,
                                          std::int32_t phraseLines,
                                          std::uint16_t codesBefore,
                                          const GroupCounts& groupCounts, std::uint8_t limit);

// The highest one-byte limit (128 at most) under which every value of the
// group table fits; 0 when none does.
std::uint8_t groupTableLimit(const GroupCounts& groupCounts);

// Refuses a group table that no stream can hold, whatever its codes: a
// group's first-entry index or entry count above 16256, the largest value
// that any stream holds in bytes below 128 (with 16257 codes). Cheap, and
// decided before any phrase is searched; the reasons name the value as
// encode8's do: "group 2's first-entry index 16382 does not fit the stream:
// with any number of codes its values stop at 16256 or below; split the
// deck". A table that passes may still be refused by encode8.
Status checkGroupTableFitsAnyStream(const GroupCounts& groupCounts);

// The fewest values (bytes below 128) of any stream with `textLines` text
// lines, whatever its characters and phrases: the header, the two values of
// each of the 8 groups, and a length word and at least one code for every
// text line. A lower bound for the default encoding and --best alike.
std::uint64_t leastStreamValues(std::uint64_t textLines);

}  // namespace kvz
