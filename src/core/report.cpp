#include "core/report.h"

#include <cstdio>
#include <optional>

#include "common/layout.h"
#include "common/text.h"
#include "deck/deck.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

constexpr CharCode kOneByteSpace{0x20, 0x00};
constexpr CharCode kIdeographicSpace{0x81, 0x40};

bool isEmpty(const GlyphCell& cell) {
    for (const std::uint8_t column : cell)
        if (column != 0) return false;
    return true;
}

}  // namespace

bool isSpaceCode(CharCode code) { return code == kOneByteSpace || code == kIdeographicSpace; }

namespace {

// Every character that `wanted` picks, once, in order of first appearance,
// with its number of occurrences and its first place (a MissingGlyph's
// fields, whatever the character is picked for).
template <class Wanted>
std::vector<MissingGlyph> findCharacters(const KvzFile& deck, Wanted wanted) {
    constexpr std::int32_t kUnseen = -1, kNotWanted = -2;
    std::vector<std::int32_t> indexOf(1 << 16, kUnseen);  // code -> found[i]
    std::vector<MissingGlyph> found;
    std::size_t textIndex = 0;
    forEachCharacter(
        deck.textBlock,
        [&](CharCode code) {
            std::int32_t& index = indexOf[static_cast<std::uint16_t>(code[0] << 8 | code[1])];
            if (index == kUnseen) {
                index = wanted(code) ? static_cast<std::int32_t>(found.size()) : kNotWanted;
                if (index != kNotWanted) found.push_back(MissingGlyph{code, 0, placeOfText(textIndex, deck.groupCounts)});
            }
            if (index != kNotWanted) ++found[static_cast<std::size_t>(index)].count;
        },
        [&](std::size_t) { ++textIndex; });
    return found;
}

bool isNotShiftJis(CharCode code) { return isKanji(code[0]) && !isTrailByte(code[1]); }

std::string usedAndFirstPlace(std::size_t count, const TextPlace& firstPlace) {
    return "(used " + plural(count, "time", "times") + ", first in " + describeTextPlace(firstPlace) + ")";
}

}  // namespace

std::vector<MissingGlyph> findMissingGlyphs(const KvzFile& deck) {
    return findCharacters(deck, [](CharCode code) { return !isSpaceCode(code) && isEmpty(selectGlyph(code)); });
}

std::string describeMissingGlyph(const MissingGlyph& missing) {
    return "no glyph for " + describeCharacterAndCode(missing.code) + " " +
           usedAndFirstPlace(missing.count, missing.firstPlace);
}

std::vector<NonShiftJisCode> findNonShiftJisCodes(const KvzFile& deck) {
    std::vector<NonShiftJisCode> codes;
    // Those whose cell is empty are told as missing glyphs.
    for (const MissingGlyph& found : findCharacters(deck, [](CharCode code) { return isNotShiftJis(code); }))
        if (const std::optional<CharCode> owner = glyphOwnerOf(found.code))
            codes.push_back(NonShiftJisCode{found.code, *owner, found.count, found.firstPlace});
    return codes;
}

std::string describeNonShiftJisCode(const NonShiftJisCode& code) {
    return formatCharCode(code.code) + " is not Shift_JIS; " + describeGlyphShownFor(code.code) + " " +
           usedAndFirstPlace(code.count, code.firstPlace);
}

ConversionFigures measureConversion(const KvzFile& deck, const Conversion& conversion) {
    ConversionFigures figures;
    forEachCharacter(
        deck.textBlock, [](CharCode) {}, [&](std::size_t characters) { figures.characters += characters; });
    figures.texts = conversion.linesBefore;
    figures.distinctCharacters = conversion.charTable.size();
    figures.phrases = getLines16(conversion.codeLines) - conversion.linesBefore;
    figures.streamBytes = packedSize(conversion.stream.size());
    figures.imageBytes = conversion.image.size();
    figures.glyphBytes = packedSize(kCellWidth * conversion.charTable.size());
    if (conversion.encoder == Encoder::best) figures.standardStreamBytes = packedSize(conversion.standardStreamValues);
    return figures;
}

std::string formatSummary(const std::string& file, const ConversionFigures& figures, double seconds) {
    char share[64];
    std::snprintf(share, sizeof share, " = %.1f%% of %u, %.3f s",
                  100.0 * static_cast<double>(figures.imageBytes) / kImageCapacity,
                  static_cast<unsigned>(kImageCapacity), seconds);
    std::string saving;
    if (figures.standardStreamBytes) {
        const std::size_t standard = *figures.standardStreamBytes;
        const std::size_t saved = standard > figures.streamBytes ? standard - figures.streamBytes : 0;
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.1f%%",
                      standard == 0 ? 0.0 : 100.0 * static_cast<double>(saved) / static_cast<double>(standard));
        saving = " (default " + std::to_string(standard) + ": " + std::to_string(saved) + " saved, " + percent + ")";
    }
    return file + ": " + plural(figures.texts, "text", "texts") + ", " +
           plural(figures.characters, "character", "characters") + " (" +
           std::to_string(figures.distinctCharacters) + " distinct), " +
           plural(figures.phrases, "phrase", "phrases") + ", stream " +
           plural(figures.streamBytes, "byte", "bytes") + saving + ", glyphs " +
           plural(figures.glyphBytes, "byte", "bytes") + ", image " +
           plural(figures.imageBytes, "byte", "bytes") + share;
}

}  // namespace kvz
