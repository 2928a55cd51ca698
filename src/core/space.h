// Where an image's bytes go: the stream bytes of every group and entry, the
// phrase table, the glyph cells, and how far the deck is from the device's
// limit.
//
// An entry's cost is what the image holds for it alone: the stream bytes of
// its six lines (each length word and code at the width it is written in,
// phrase codes included; the phrase lines themselves are the phrase
// table's), plus the glyph cell of every character that no other entry and
// no group name uses. Every stream byte takes 7/8 of a byte in the image and
// every glyph cell 49/8 (its seven columns, packed alike).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/convert.h"
#include "input/kvz.h"

namespace kvz {

struct EntrySpace {
    int group = 0;
    int entry = 0;                     // within its group, from 0
    std::uint64_t streamValues = 0;    // the stream bytes of its six lines
    std::uint64_t ownCharacters = 0;   // characters that only this entry uses
    std::string word;                  // its short field 1, as the device shows it (readableStoredText)
    // The line of the text the deck was built from that holds the entry;
    // 0 where the deck was no text (see addInputLines).
    std::size_t inputLine = 0;
};

struct GroupSpace {
    std::string name;  // as the device shows it (readableStoredText)
    std::uint64_t entries = 0;
    // Its name's line and its two values in the group table, and its
    // entries' lines.
    std::uint64_t streamValues = 0;
};

// Stream figures count the stream's bytes (values below 128) before they
// are packed; the group figures, the header's and the phrase table's add up
// to streamValues.
struct SpaceReport {
    Encoder encoder = Encoder::standard;
    std::array<GroupSpace, kGroupCount> groups{};
    std::vector<EntrySpace> entries;        // every entry, in file order
    std::uint64_t headerValues = 0;         // the stream's three header values
    std::uint64_t phrases = 0;
    std::uint64_t phraseTableValues = 0;
    std::uint64_t streamValues = 0;
    std::uint64_t characters = 0;           // one glyph cell each
    std::uint64_t singleEntryCharacters = 0;
    std::uint64_t streamBytes = 0;          // packed, as in the image
    std::uint64_t glyphBytes = 0;           // packed, as in the image
    std::uint64_t imageBytes = 0;           // may exceed the device's capacity
};

// The report of `conversion`, made from `deck` by convertKvz, encodeKvz or
// encodeForReport (its image need not fit, its stream need not be written:
// the figures count the values its lines take).
SpaceReport measureSpace(const KvzFile& deck, const Conversion& conversion);

// Gives every entry of `report` its line in the text its deck was built
// from: `entryLines` holds the line of each entry in file order (as
// DeckCheck::entryLines does); entries past its end keep 0.
void addInputLines(SpaceReport& report, std::span<const std::size_t> entryLines);

// The image bytes of a group's stream: its name's line, its two values in
// the group table and its entries' lines, at 7/8 of a byte each.
double groupImageBytes(const GroupSpace& group);

// The image bytes of the phrase table and the stream's header.
double phraseTableImageBytes(const SpaceReport& report);

// An entry's cost in image bytes, as defined above.
double entryCostBytes(const EntrySpace& entry);

// The image bytes that `streamValues` stream bytes take once packed (7/8
// each): a group's or the phrase table's share in bytes.
double streamImageBytes(std::uint64_t streamValues);

// `bytes` as a percentage of an image of `imageBytes` bytes (0 for an empty
// image), and the same as the report words it ("12.3%").
double imageSharePercent(double bytes, std::uint64_t imageBytes);
std::string formatImageShare(double bytes, std::uint64_t imageBytes);

// How many of the costliest entries the report names.
inline constexpr std::size_t kCostliestShown = 10;

// The `count` costliest entries, costliest first; of equal costs the one
// earlier in the file first.
std::vector<EntrySpace> costliestEntries(const SpaceReport& report, std::size_t count);

// An entry as the report names it: "group 2 entry 5 (歩く)", or with its
// input line "group 2 entry 5 (歩く, line 14)".
std::string describeCostlyEntry(const EntrySpace& entry);

// The parts of an image as --report and the page name them: "group 2
// (動詞)", "phrase table (12 phrases) and stream header", "glyphs (40
// characters)"; and what the glyphs serve, "for 40 characters; 9 used by a
// single entry only".
std::string describeGroupPart(const SpaceReport& report, std::size_t group);
std::string describePhraseTablePart(const SpaceReport& report);
std::string describeGlyphsPart(const SpaceReport& report);
std::string describeGlyphUse(const SpaceReport& report);

// The lines that kvzpack --report prints: the image's share of each group
// ("group 0 (動詞): 3 entries, ..."), the phrase table and the glyphs, the
// ten costliest entries by their place and word ("group 2 entry 5 (歩く):
// 31 bytes", with an input line "group 2 entry 5 (歩く, line 14): ..."),
// and the distance to the limit ("60810 bytes left: about 1430 more entries
// of this size fit", or "over by 2304 bytes: about 45 entries").
std::vector<std::string> formatSpaceReport(const std::string& file, const SpaceReport& report);

}  // namespace kvz
