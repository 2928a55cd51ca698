#include "core/report.h"

#include <cstdio>
#include <unordered_map>

#include "common/layout.h"
#include "common/text.h"
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

std::vector<MissingGlyph> findMissingGlyphs(const KvzFile& deck) {
    std::vector<MissingGlyph> missing;
    std::unordered_map<std::uint16_t, std::size_t> indexOf;  // code -> missing[i], or npos
    constexpr std::size_t kHasGlyph = static_cast<std::size_t>(-1);
    std::size_t textIndex = 0;
    forEachCharacter(
        deck.textBlock,
        [&](CharCode code) {
            const auto key = static_cast<std::uint16_t>(code[0] << 8 | code[1]);
            auto [where, isNew] = indexOf.try_emplace(key, kHasGlyph);
            if (isNew) {
                if (isSpaceCode(code) || !isEmpty(selectGlyph(code))) return;
                where->second = missing.size();
                missing.push_back(MissingGlyph{code, 0, placeOfText(textIndex, deck.groupCounts)});
            }
            if (where->second != kHasGlyph) ++missing[where->second].count;
        },
        [&](std::size_t) { ++textIndex; });
    return missing;
}

std::string describeMissingGlyph(const MissingGlyph& missing) {
    return "no glyph for " + formatCharCode(missing.code) + " (used " +
           plural(missing.count, "time", "times") + ", first in " +
           describeTextPlace(missing.firstPlace) + ")";
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
    return figures;
}

std::string formatSummary(const std::string& file, const ConversionFigures& figures, double seconds) {
    char share[64];
    std::snprintf(share, sizeof share, " = %.1f%% of %u, %.3f s",
                  100.0 * static_cast<double>(figures.imageBytes) / kImageCapacity,
                  static_cast<unsigned>(kImageCapacity), seconds);
    return file + ": " + plural(figures.texts, "text", "texts") + ", " +
           plural(figures.characters, "character", "characters") + " (" +
           std::to_string(figures.distinctCharacters) + " distinct), " +
           plural(figures.phrases, "phrase", "phrases") + ", stream " +
           plural(figures.streamBytes, "byte", "bytes") + ", glyphs " +
           plural(figures.glyphBytes, "byte", "bytes") + ", image " +
           plural(figures.imageBytes, "byte", "bytes") + share;
}

}  // namespace kvz
