#include "core/report.h"

#include <cstdio>
#include <unordered_map>

#include "glyph/glyph.h"

namespace kvz {
namespace {

using CharCode = std::array<std::uint8_t, 2>;

constexpr CharCode kOneByteSpace{0x20, 0x00};
constexpr CharCode kIdeographicSpace{0x81, 0x40};

// Calls visit(code, textIndex) for every character of the texts up to the
// first empty text, stepping as the character table does: a lead byte
// whose trail byte would be the text's zero byte ends the text.
template <class Visit>
void forEachCharacter(const TextBlock& textBlock, Visit visit) {
    std::size_t i = 0, textIndex = 0;
    const std::size_t size = textBlock.size();
    while (i < size && textBlock[i] != 0) {
        while (i < size && textBlock[i] != 0) {
            const std::uint8_t first = textBlock[i];
            if (!isKanji(first)) {
                visit(CharCode{first, 0}, textIndex);
                ++i;
                continue;
            }
            if (i + 1 >= size || textBlock[i + 1] == 0) {
                ++i;
                break;
            }
            visit(CharCode{first, textBlock[i + 1]}, textIndex);
            i += 2;
        }
        while (i < size && textBlock[i] != 0) ++i;
        ++i;
        ++textIndex;
    }
}

bool isEmpty(const GlyphCell& cell) {
    for (const std::uint8_t column : cell)
        if (column != 0) return false;
    return true;
}

std::size_t packedBytes(std::size_t values) { return 7 * ((values + 7) / 8); }

std::string plural(std::size_t count, const char* singular, const char* pluralForm) {
    return std::to_string(count) + " " + (count == 1 ? singular : pluralForm);
}

}  // namespace

TextPlace placeOfText(std::size_t index, const GroupCounts& counts) {
    if (index < kGroupCount) return TextPlace{static_cast<int>(index), -1, 0};
    const std::size_t entryText = index - kGroupCount;
    std::size_t entry = entryText / kFieldsPerEntry;
    const int field = static_cast<int>(entryText % kFieldsPerEntry);
    for (std::size_t group = 0; group < kGroupCount; ++group) {
        if (entry < counts[group])
            return TextPlace{static_cast<int>(group), static_cast<int>(entry), field};
        entry -= counts[group];
    }
    // Past the announced entries (not in a deck that was read): count on in
    // the last group.
    return TextPlace{static_cast<int>(kGroupCount - 1),
                     static_cast<int>(entry + counts[kGroupCount - 1]), field};
}

bool isSpaceCode(CharCode code) { return code == kOneByteSpace || code == kIdeographicSpace; }

std::string formatCharCode(CharCode code) {
    char text[16];
    if (isKanji(code[0]))
        std::snprintf(text, sizeof text, "0x%02X%02X", code[0], code[1]);
    else
        std::snprintf(text, sizeof text, "0x%02X", code[0]);
    return text;
}

std::vector<MissingGlyph> findMissingGlyphs(const KvzFile& deck) {
    std::vector<MissingGlyph> missing;
    std::unordered_map<std::uint16_t, std::size_t> indexOf;  // code -> missing[i], or npos
    constexpr std::size_t kHasGlyph = static_cast<std::size_t>(-1);
    forEachCharacter(deck.textBlock, [&](CharCode code, std::size_t textIndex) {
        const auto key = static_cast<std::uint16_t>(code[0] << 8 | code[1]);
        auto [where, isNew] = indexOf.try_emplace(key, kHasGlyph);
        if (isNew) {
            if (isSpaceCode(code) || !isEmpty(selectGlyph(code))) return;
            where->second = missing.size();
            missing.push_back(MissingGlyph{code, 0, placeOfText(textIndex, deck.groupCounts)});
        }
        if (where->second != kHasGlyph) ++missing[where->second].count;
    });
    return missing;
}

std::string describeMissingGlyph(const MissingGlyph& missing) {
    return "no glyph for " + formatCharCode(missing.code) + " (used " +
           plural(missing.count, "time", "times") + ", first in " +
           describeTextPlace(missing.firstPlace) + ")";
}

ConversionFigures measureConversion(const KvzFile& deck, const Conversion& conversion) {
    ConversionFigures figures;
    forEachCharacter(deck.textBlock, [&](CharCode, std::size_t) { ++figures.characters; });
    figures.texts = conversion.linesBefore;
    figures.distinctCharacters = conversion.charTable.size();
    figures.phrases = getLines16(conversion.codeLines) - conversion.linesBefore;
    figures.streamBytes = packedBytes(conversion.stream.size());
    figures.imageBytes = conversion.image.size();
    figures.glyphBytes = packedBytes(kCellWidth * conversion.charTable.size());
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
