#include "core/image_deck.h"

#include <map>
#include <optional>
#include <vector>

#include "common/layout.h"
#include "core/verify.h"
#include "deck/deck.h"
#include "glyph/glyph.h"
#include "input/kvz.h"

namespace kvz {
namespace {

using Code = std::uint16_t;  // lead byte << 8 | trail byte, or a one-byte code
constexpr Code kIdeographicSpace = 0x8140;

std::vector<std::uint8_t> bytesOf(Code code) {
    if (code <= 0xFF) return {static_cast<std::uint8_t>(code)};
    return {static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code & 0xFF)};
}

// The codes a text normalises to.
std::vector<Code> normalised(const std::vector<std::uint8_t>& text) {
    std::vector<std::uint8_t> out;
    replaceChar(out, text);
    std::vector<Code> codes;
    for (std::size_t i = 0; i < out.size() && out[i] != 0;) {
        const bool pair = isKanji(out[i]) && i + 1 < out.size();
        codes.push_back(pair ? static_cast<Code>(out[i] << 8 | out[i + 1]) : out[i]);
        i += pair ? 2 : 1;
    }
    return codes;
}

bool isStoredForm(const std::vector<Code>& normalForm, Code code) {
    return normalForm.size() == 1 && normalForm.front() == code;
}

// What each glyph cell is written as, and the short forms of normalised
// characters and pairs.
class CellReader {
public:
    CellReader() {
        // Two-byte codes that normalisation keeps, those that one-byte
        // characters become first, so a cell reads as the shortest text.
        for (Code one = 0x20; one <= 0xDF; ++one) {
            if (one >= 0x7F && one < 0xA1) continue;
            const std::vector<Code> form = normalised(bytesOf(one));
            if (form.size() == 1) {
                shortForm_.emplace(form.front(), one);
                cellCode_.emplace(cellOf(form.front()), form.front());
            } else if (form.size() == 2) {
                pairForm_.emplace(std::pair(form[0], form[1]), one);
            }
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isKanji(static_cast<std::uint8_t>(lead))) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F) continue;
                const auto code = static_cast<Code>(lead << 8 | trail);
                const std::vector<Code> form = normalised(bytesOf(code));
                if (isStoredForm(form, code)) {
                    cellCode_.emplace(cellOf(code), code);
                } else if (form.size() == 2) {
                    pairForm_.emplace(std::pair(form[0], form[1]), code);
                }
            }
        }
    }

    Result<Code> codeOf(const GlyphCell& cell) const {
        if (const auto found = cellCode_.find(cell); found != cellCode_.end()) return found->second;
        return fail("a glyph cell that no character's glyph is");
    }

    // The text's Shift_JIS bytes in a short form: voiced kana joined, ASCII
    // for full-width ASCII; a group name keeps full-width spaces, since a
    // space would end it.
    // Half-width katakana and punctuation only with `halfWidthKana`.
    std::string shortText(const std::vector<Code>& codes, bool groupName, bool halfWidthKana) const {
        std::string text;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            if (i + 1 < codes.size()) {
                if (const auto pair = pairForm_.find(std::pair(codes[i], codes[i + 1])); pair != pairForm_.end()) {
                    append(text, pair->second);
                    ++i;
                    continue;
                }
            }
            const auto one = shortForm_.find(codes[i]);
            const bool take = one != shortForm_.end() && (halfWidthKana || one->second < 0x80);
            const Code shortest = take ? one->second : codes[i];
            append(text, groupName && shortest == 0x20 ? kIdeographicSpace : shortest);
        }
        return text;
    }

private:
    static GlyphCell cellOf(Code code) {
        return selectGlyph({static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code & 0xFF)});
    }
    static void append(std::string& text, Code code) {
        for (std::uint8_t byte : bytesOf(code)) text += static_cast<char>(byte);
    }

    std::map<GlyphCell, Code> cellCode_;
    std::map<Code, Code> shortForm_;
    std::map<std::pair<Code, Code>, Code> pairForm_;
};

// The text in the short form, or in the shortest (half-width katakana too)
// where the short one would not fit `width`.
Result<std::string> textOf(const DecodedImage& image, const StoredText& stored, const CellReader& reader,
                           bool groupName, std::size_t width) {
    Result<std::vector<std::uint16_t>> characters = expandText(image, stored);
    KVZ_TRY(characters);
    std::vector<Code> codes;
    for (const std::uint16_t character : *characters) {
        if (character >= image.cells.size()) return fail("a character without a glyph cell");
        Result<Code> code = reader.codeOf(image.cells[character]);
        KVZ_TRY(code);
        codes.push_back(*code);
    }
    std::string text = reader.shortText(codes, groupName, false);
    return text.size() <= width ? text : reader.shortText(codes, groupName, true);
}

Status checkFitsField(const std::string& text, std::size_t width) {
    if (text.size() > width) return fail("a text of " + std::to_string(text.size()) + " bytes, longer than its field");
    return success();
}

}  // namespace

Result<std::string> dumpImageDeck(const DecodedImage& image) {
    const CellReader reader;
    std::vector<std::uint8_t> kvz;
    for (const DecodedGroup& group : image.groups) {
        Result<std::string> name = textOf(image, group.name, reader, true, kGroupNameWidth);
        KVZ_TRY(name);
        KVZ_TRY(checkFitsField(*name, kGroupNameWidth));
        appendGroupRecord(kvz, *name, static_cast<std::uint16_t>(group.entryCount));
    }
    for (const auto& entry : image.entries) {
        for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
            const std::size_t width = kEntryFieldLayout[f].width;
            Result<std::string> text = textOf(image, entry[f], reader, false, width);
            KVZ_TRY(text);
            KVZ_TRY(checkFitsField(*text, width));
            appendStoredField(kvz, *text, width, true);
        }
    }
    return dumpKvz(kvz);
}

Result<std::string> dumpHexTextDeck(std::string_view hexText) {
    Result<HexImage> image = imageFromHexText(hexText);
    KVZ_TRY(image);
    Result<DecodedImage> decoded = decodeDeviceImage(image->bytes);
    KVZ_TRY(decoded);
    return dumpImageDeck(*decoded);
}

Result<DecodedImage> decodeDeviceImage(std::span<const std::uint8_t> image) {
    Result<DecodedImage> decoded = decodeImage(image, kLoadAddress);
    if (!decoded) return fail("not a device image: " + decoded.reason());
    return decoded;
}

}  // namespace kvz
