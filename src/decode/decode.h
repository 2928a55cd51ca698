// Reads a device image the way the device does, independently of the
// encoder: header, 7-bit stream, phrase table, groups and entries, glyph
// cells. The conversion core uses it to check every image against its deck
// before anything is written.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "glyph/glyph.h"
#include "input/kvz.h"

namespace kvz {

// A text as the stream stores it: character codes (below codesBefore) and
// phrase codes (from codesBefore on), as the device numbers them.
using StoredText = std::vector<std::uint16_t>;

struct DecodedGroup {
    StoredText name;
    std::uint16_t firstEntry = 0;
    std::uint16_t entryCount = 0;
};

struct DecodedImage {
    std::uint16_t glyphAreaAddress = 0;  // header bytes 2-3
    std::uint8_t limit = 0;              // one-byte limit B
    std::uint16_t codesBefore = 0;       // F
    std::vector<StoredText> phrases;     // phrase F + j is phrases[j]
    std::array<DecodedGroup, kGroupCount> groups;
    std::vector<std::array<StoredText, kFieldsPerEntry>> entries;  // every entry, in order
    // Every whole cell of the glyph area: cell i belongs to character code i;
    // a last cell made only of packing padding is included (and empty).
    std::vector<GlyphCell> cells;
    std::size_t streamValues = 0;        // values the header and texts took, padding excluded
    std::size_t glyphAreaBytes = 0;      // size of the packed glyph area
};

// Decodes an image placed at `loadAddress`. Fails with the reason on
// anything the device could not read: a header or glyph area address that
// does not frame a packed stream and glyph area, a value or text running past
// the stream, a code that is neither a character nor a phrase, a group table
// whose first-entry indexes are not the running sums of its counts, a stream
// with more than the zero padding of its last group behind the texts, or
// glyph padding that is not empty. It also refuses any text that, phrases
// expanded, holds more characters than its field (see maxTextCharacters) or
// uses a phrase that contains itself, naming the text ("group 0 entry 3 long
// field: ..."). Each phrase's length is counted once, and no count goes past
// the widest field: the work grows with the image's size alone, however far
// its phrases would expand.
Result<DecodedImage> decodeImage(std::span<const std::uint8_t> image, std::uint32_t loadAddress);

// The most characters the text at `place` can hold: its field's width in
// bytes (kGroupNameWidth, kLongFieldWidth, kShortFieldWidth), since every
// character of a deck's field takes at least one byte there and the
// normalisation never makes more characters than the bytes it was given.
std::size_t maxTextCharacters(const TextPlace& place);

// The character codes a stored text stands for, phrases expanded (refusing
// cycles, codes without a phrase or a glyph cell, and texts of more than
// kMaxExpandedCodes codes, the widest field's width: the expansion stops
// there).
inline constexpr std::size_t kMaxExpandedCodes = kLongFieldWidth;
Result<std::vector<std::uint16_t>> expandText(const DecodedImage& image, const StoredText& text);

// Checks that the image says what the deck says: every group name and entry
// text expands to exactly the characters of the original text (through the
// character table), group indexes and counts match, and every glyph cell is
// the one selected for its character.
Status verifyImage(std::span<const std::uint8_t> image, std::uint32_t loadAddress,
                   const KvzFile& deck, const CharTable& table);
// verifyImage, giving the image as decoded once it passed.
Result<DecodedImage> decodeVerifiedImage(std::span<const std::uint8_t> image, std::uint32_t loadAddress,
                                         const KvzFile& deck, const CharTable& table);


}  // namespace kvz
