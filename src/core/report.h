// What kvzpack tells about a deck besides converting it: the characters
// that will not show on the device, the codes that will show as another
// character, and the one-line summary of --verbose.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/convert.h"
#include "input/kvz.h"

namespace kvz {

// The spaces: the one-byte space and the ideographic space. Their cells are
// empty on purpose.
bool isSpaceCode(std::array<std::uint8_t, 2> code);

// A character that is no space but whose glyph cell is empty.
struct MissingGlyph {
    std::array<std::uint8_t, 2> code{};
    std::size_t count = 0;    // occurrences in the deck
    TextPlace firstPlace;     // where it stands first
};

// Every such character once, in order of first appearance.
std::vector<MissingGlyph> findMissingGlyphs(const KvzFile& deck);

// "no glyph for ⅰ (0xFA40) (used 3 times, first in group 1 entry 4 short field 2)";
// a code with no printable character (user-defined, unassigned) is named by
// its code alone: "no glyph for 0xF040 (used 1 time, ...)".
std::string describeMissingGlyph(const MissingGlyph& missing);

// A two-byte code whose second byte is no Shift_JIS trail byte (0x9001,
// 0x907F, 0x90FD): the device draws it with the glyph of another character.
struct NonShiftJisCode {
    std::array<std::uint8_t, 2> code{};
    std::array<std::uint8_t, 2> glyphOwner{};  // whose glyph it shows: see glyphOwnerOf
    std::size_t count = 0;                     // occurrences in the deck
    TextPlace firstPlace;                      // where it stands first
};

// Every such code once, in order of first appearance; those whose cell is
// empty are left to findMissingGlyphs.
std::vector<NonShiftJisCode> findNonShiftJisCodes(const KvzFile& deck);

// "0x9001 is not Shift_JIS; the device draws it with the glyph of 0x9145
// '薦' (used 2 times, first in group 0 entry 0 long field)"; the character
// is left out where CP932 has none for the code.
std::string describeNonShiftJisCode(const NonShiftJisCode& code);

// What --verbose prints for a converted file, in figures.
struct ConversionFigures {
    std::size_t texts = 0;
    std::size_t characters = 0;
    std::size_t distinctCharacters = 0;
    std::size_t phrases = 0;
    std::size_t streamBytes = 0;  // packed, as in the image
    std::size_t glyphBytes = 0;   // packed, as in the image
    std::size_t imageBytes = 0;
    std::optional<std::size_t> standardStreamBytes;  // with --best: the default encoding's stream, packed
};

ConversionFigures measureConversion(const KvzFile& deck, const Conversion& conversion);

// "deck.kvz: 14 texts, 28 characters (5 distinct), 1 phrase, stream 56 bytes,
// glyphs 35 bytes, image 95 bytes = 0.1% of 64048, 0.004 s"; with --best the
// stream reads "stream 49 bytes (default 56: 7 saved, 12.5%)".
std::string formatSummary(const std::string& file, const ConversionFigures& figures, double seconds);

}  // namespace kvz
