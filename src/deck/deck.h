// KVZ decks as readable UTF-8 TSV (layout in doc/deck-format.md): building a
// KVZ file from its TSV and dumping a KVZ file as TSV.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "input/kvz.h"

namespace kvz {

// The KVZ file that the TSV describes, and the warnings about it.
struct BuiltDeck {
    std::vector<std::uint8_t> kvz;
    // "12: warning: long field: 0x9001 is not Shift_JIS; the device draws it
    // with the glyph of 0x9145 '薦'", for a lead byte and a byte that is no
    // trail byte, both written as \xHH.
    std::vector<std::string> warnings;
};

// The deck of a TSV. A refusal's reason starts with the number of the line
// it concerns, then ": ", e.g. "12: short field 3 is 30 bytes in Shift_JIS,
// the field holds 28". Refused also: a text whose lines end in CR alone (at
// line 1), a line that holds a carriage return besides its CR LF end (CR CR
// LF), a lead byte followed by a byte that is no trail byte other than as
// two \xHH escapes. A KVZ deck given instead of its text is refused with
// FailureKind::notADeck and no line number.
Result<BuiltDeck> buildDeck(std::string_view tsv);

// buildDeck without its warnings.
Result<std::vector<std::uint8_t>> buildKvz(std::string_view tsv);

// What the device shows for a code: "the device draws it with the glyph of
// 0x9145 '薦'" (the code whose glyph it shows, see glyphOwnerOf, and its
// CP932 character where there is one), or "the device shows an empty cell
// for it".
std::string describeGlyphShownFor(CharCode code);

// What kvzdeck says of a refused build of `file`: "deck.tsv:12: reason", or
// for a KVZ deck "deck.kvz: is a KVZ deck already, not a text: convert it
// with 'kvzpack deck.kvz', or write it as text with 'kvzdeck dump deck.kvz'".
std::string describeBuildRefusal(std::string_view file, const Failure& failure);

// The TSV of a KVZ file: its texts as stored (not normalised), so that
// buildKvz gives the same bytes back wherever the text can say them.
// Refuses a file that ends before its last announced record.
Result<std::string> dumpKvz(std::span<const std::uint8_t> kvz);

}  // namespace kvz
