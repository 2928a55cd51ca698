// KVZ decks as readable UTF-8 TSV (layout in doc/deck-format.md): building a
// KVZ file from its TSV and dumping a KVZ file as TSV.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

// What a build may fix instead of refusing: a field too long for its width
// cut at a character boundary, a character with no Shift_JIS form replaced
// by `replacement` (which must have one).
struct DeckFixes {
    bool cut = false;
    std::optional<char32_t> replacement;
};

// A message about one line of a deck's text: its number and what is said,
// "short field 3 is 30 bytes in Shift_JIS, ...".
struct DeckMessage {
    std::size_t line = 0;
    std::string text;
};

// The most problems a check lists; problemCount counts on past them.
inline constexpr std::size_t kProblemsListed = 100;

// Everything a build finds in a deck's text, every line checked.
struct DeckCheck {
    std::vector<std::uint8_t> kvz;       // the deck; empty while any problem remains
    std::vector<DeckMessage> problems;   // refused lines, the first kProblemsListed
    std::size_t problemCount = 0;
    // "warning: long field: 0x9001 is not Shift_JIS; ...", and at its first
    // use each CP932 character without a glyph: "warning: short field 2: no glyph
    // for ⅰ (0xFA40); the device shows an empty cell for it" (the first 10,
    // then one warning for the rest).
    std::vector<DeckMessage> warnings;
    std::vector<DeckMessage> changes;    // "short field 2: cut to 28 bytes, dropping '...'"
    std::size_t cutFields = 0;
    std::size_t replacedCharacters = 0;
    // The line of every entry the deck holds, in the deck's order (the
    // order of the text: a group's entries follow its name).
    std::vector<std::size_t> entryLines;
};

// A KVZ deck given where its text was expected: whole records, and group
// records that announce what the file holds.
bool looksLikeKvz(std::string_view file);

// The refusal of a KVZ deck given where its text was expected.
Failure kvzDeckGivenAsText();

// Checks every line of a TSV as buildDeck does, and goes on past a refused
// line: each refused line is listed once, with every problem of its fields
// (each field too long, each character with no Shift_JIS form) or its first
// other problem. The
// count of group names is checked only when no line was refused. Fails
// only for a KVZ deck given instead of its text (FailureKind::notADeck).
Result<DeckCheck> checkDeck(std::string_view tsv, const DeckFixes& fixes);

// buildDeck without its warnings.
Result<std::vector<std::uint8_t>> buildKvz(std::string_view tsv);

// What the device shows for a code: "the device draws it with the glyph of
// 0x9145 '薦'" (the code whose glyph it shows, see glyphOwnerOf, and its
// CP932 character where there is one), or "the device shows an empty cell
// for it".
std::string describeGlyphShownFor(CharCode code);

// The Shift_JIS bytes that build stores a Unicode character as (with the
// mapped characters of doc/deck-format.md), or nothing.
std::optional<std::string> shiftJisOf(char32_t codePoint);

// A code as messages name it: its CP932 character and the code, "髙 (0xFBFC)",
// or the code alone, "0xF040", where the code is no printable character
// (user-defined and unassigned codes, control codes, codes that are not
// Shift_JIS).
std::string describeCharacterAndCode(CharCode code);

// A stored text (Shift_JIS bytes, up to its end or a zero byte) in UTF-8,
// for a message that names it: each code as its CP932 character, a code
// with no printable character (a control code, a user-defined or
// unassigned code, a lone lead byte) as "[0xF040]".
std::string readableStoredText(std::span<const std::uint8_t> text);

// What kvzdeck says of a refused build of `file`: "deck.tsv:12: reason" (a
// reason that names no line: "deck.csv: reason"), or
// for a KVZ deck "deck.kvz: is a KVZ deck already, not a text: convert it
// with 'kvzpack deck.kvz', or write it as text with 'kvzdeck dump deck.kvz'".
std::string describeBuildRefusal(std::string_view file, const Failure& failure);

// The TSV of a KVZ file: its texts as stored (not normalised), so that
// buildKvz gives the same bytes back wherever the text can say them.
// Refuses a file that ends before its last announced record.
Result<std::string> dumpKvz(std::span<const std::uint8_t> kvz);

}  // namespace kvz
