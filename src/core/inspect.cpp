#include "core/inspect.h"

#include <algorithm>
#include <cstdio>

#include "common/layout.h"
#include "common/text.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

constexpr std::size_t kPixelRows = 7;
constexpr std::uint32_t kStreamAddress = kLoadAddress + kImageHeaderSize;

// Two pixel rows of one column as a block character.
const char* halfBlock(bool upper, bool lower) {
    if (upper && lower) return "\u2588";  // █
    if (upper) return "\u2580";           // ▀
    if (lower) return "\u2584";           // ▄
    return " ";
}

std::string drawLine(const std::vector<GlyphCell>& cells, std::span<const std::uint16_t> codes,
                     std::size_t upperRow) {
    std::string line;
    for (const std::uint16_t code : codes) {
        for (const std::uint8_t column : cells[code]) {
            const bool upper = (column >> upperRow) & 1;
            const bool lower = upperRow + 1 < kPixelRows && ((column >> (upperRow + 1)) & 1);
            line += halfBlock(upper, lower);
        }
    }
    return line;
}

Result<std::size_t> countCharacters(const DecodedImage& decoded, const StoredText& text) {
    auto expanded = expandText(decoded, text);
    KVZ_TRY(expanded);
    return expanded->size();
}

Result<std::string> drawText(const DecodedImage& decoded, const TextPlace& place, std::string_view heading) {
    auto stored = storedTextAt(decoded, place);
    KVZ_TRY(stored);
    auto codes = expandText(decoded, *stored);
    if (!codes) return fail(describeTextPlace(place) + ": " + codes.reason());
    auto lines = drawCells(decoded.cells, *codes);
    if (!lines) return fail(describeTextPlace(place) + ": " + lines.reason());
    std::string text = std::string(heading) + ": " + plural(codes->size(), "character", "characters") + "\n";
    for (const std::string& line : *lines) text += line + "\n";
    return text;
}

}  // namespace

Result<StoredText> storedTextAt(const DecodedImage& image, const TextPlace& place) {
    if (place.group < 0 || place.group >= static_cast<int>(kGroupCount))
        return fail("there is no group " + std::to_string(place.group));
    const DecodedGroup& group = image.groups[static_cast<std::size_t>(place.group)];
    if (place.entry < 0) return group.name;
    if (place.entry >= group.entryCount)
        return fail("group " + std::to_string(place.group) + " has " +
                    plural(group.entryCount, "entry", "entries") + "; there is no entry " +
                    std::to_string(place.entry));
    const std::size_t index = std::size_t{group.firstEntry} + static_cast<std::size_t>(place.entry);
    if (index >= image.entries.size())
        return fail("group " + std::to_string(place.group) + " points past the image's " +
                    plural(image.entries.size(), "entry", "entries"));
    return image.entries[index][static_cast<std::size_t>(place.field)];
}

Result<std::string> formatImageSummary(const std::string& name, std::span<const std::uint8_t> image,
                                       const DecodedImage& decoded) {
    const std::size_t streamBytes =
        decoded.glyphAreaAddress >= kStreamAddress ? decoded.glyphAreaAddress - kStreamAddress : 0;
    const std::size_t glyphBytes = image.size() >= kImageHeaderSize + streamBytes ? image.size() - kImageHeaderSize - streamBytes : 0;
    std::size_t characters = 0;
    for (const DecodedGroup& group : decoded.groups) {
        auto count = countCharacters(decoded, group.name);
        KVZ_TRY(count);
        characters += *count;
    }
    for (const auto& entry : decoded.entries) {
        for (const StoredText& text : entry) {
            auto count = countCharacters(decoded, text);
            KVZ_TRY(count);
            characters += *count;
        }
    }
    char share[64];
    std::snprintf(share, sizeof share, "%.1f%%", 100.0 * static_cast<double>(image.size()) / kImageCapacity);
    std::string text = name + ": image " + formatAddressRange(kLoadAddress, image.size()) + ", " +
                       plural(image.size(), "byte", "bytes") + " = " + share + " of " +
                       std::to_string(kImageCapacity) + "\n";
    text += "stream: " + formatAddressRange(kStreamAddress, streamBytes) + ", " +
            plural(streamBytes, "byte", "bytes") + ", one-byte limit " + std::to_string(decoded.limit) +
            ", first phrase code " + std::to_string(decoded.codesBefore) + "\n";
    text += "phrases: " + std::to_string(decoded.phrases.size()) + "\n";
    text += "glyph area: " + formatAddressRange(decoded.glyphAreaAddress, glyphBytes) + ", " +
            plural(glyphBytes, "byte", "bytes") + ", " + plural(decoded.cells.size(), "cell", "cells") + "\n";
    text += "texts: " + std::to_string(kGroupCount + kFieldsPerEntry * decoded.entries.size()) + " (" +
            plural(decoded.entries.size(), "entry", "entries") + "), " +
            plural(characters, "character", "characters") + "\n";
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const DecodedGroup& group = decoded.groups[g];
        auto nameLength = countCharacters(decoded, group.name);
        KVZ_TRY(nameLength);
        text += "group " + std::to_string(g) + ": " + plural(group.entryCount, "entry", "entries") +
                " from index " + std::to_string(group.firstEntry) + ", name of " +
                plural(*nameLength, "character", "characters") + "\n";
    }
    return text;
}

Result<std::vector<std::string>> drawCells(const std::vector<GlyphCell>& cells,
                                           std::span<const std::uint16_t> codes,
                                           std::size_t cellsPerLine) {
    for (const std::uint16_t code : codes)
        if (code >= cells.size())
            return fail("character code " + std::to_string(code) + " has no glyph cell (the image has " +
                        std::to_string(cells.size()) + ")");
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < codes.size(); start += cellsPerLine) {
        const auto piece = codes.subspan(start, std::min(cellsPerLine, codes.size() - start));
        for (std::size_t row = 0; row < kPixelRows; row += 2) lines.push_back(drawLine(cells, piece, row));
    }
    return lines;
}

Result<std::string> drawSelection(const DecodedImage& decoded, const EntrySelection& selection) {
    const std::string where = "group " + std::to_string(selection.group);
    if (selection.entry < 0) {
        auto name = drawText(decoded, TextPlace{selection.group, -1, 0}, "name");
        KVZ_TRY(name);
        return where + "\n" + *name;
    }
    std::string text = where + " entry " + std::to_string(selection.entry) + "\n";
    for (int field = 0; field < static_cast<int>(kFieldsPerEntry); ++field) {
        const std::string_view name = kFieldNames[static_cast<std::size_t>(field)];
        auto drawn = drawText(decoded, TextPlace{selection.group, selection.entry, field}, name);
        KVZ_TRY(drawn);
        text += *drawn;
    }
    return text;
}

}  // namespace kvz
