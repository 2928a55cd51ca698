// Checks a decoded image against the deck it was made from.
#include <algorithm>
#include <numeric>
#include <string>

#include "common/layout.h"
#include "common/text.h"
#include "decode/decode.h"
#include "decode/expand_internal.h"

namespace kvz {
namespace {

constexpr int kNoCode = -1;

// A character's code through the table, by its Shift_JIS bytes; the first
// entry that holds the character gives it.
class CodeLookup {
public:
    explicit CodeLookup(const CharTable& table) : codes_(0x10000, kNoCode) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            int& code = codes_[key(table[i].code)];
            if (code == kNoCode) code = static_cast<int>(i);
        }
    }
    int codeOf(std::array<std::uint8_t, 2> character) const { return codes_[key(character)]; }

private:
    static std::size_t key(std::array<std::uint8_t, 2> code) {
        return std::size_t{code[0]} << 8 | code[1];
    }
    std::vector<int> codes_;
};

// The texts of a TextBlock, each a span of its bytes, up to the first empty text.
std::vector<std::span<const std::uint8_t>> splitTexts(const TextBlock& block) {
    std::vector<std::span<const std::uint8_t>> texts;
    std::size_t at = 0;
    while (at < block.size() && block[at] != 0) {
        const auto end = std::find(block.begin() + static_cast<std::ptrdiff_t>(at), block.end(), 0);
        const auto length = static_cast<std::size_t>(end - block.begin()) - at;
        texts.push_back(std::span<const std::uint8_t>(block).subspan(at, length));
        at += length + 1;
    }
    return texts;
}

// The text's characters, walked by the lead-byte test, as table codes.
// `where` names the text, for the message.
template <class Where>
Status expectedCodes(std::span<const std::uint8_t> text, const CodeLookup& lookup,
                     const Where& where, std::vector<std::uint16_t>& codes) {
    codes.clear();
    for (std::size_t at = 0; at < text.size();) {
        std::array<std::uint8_t, 2> character{text[at], 0};
        const bool twoBytes = isKanji(text[at]) && at + 1 < text.size();
        if (twoBytes) character[1] = text[at + 1];
        at += twoBytes ? 2 : 1;
        const int code = lookup.codeOf(character);
        if (code == kNoCode)
            return fail("character " + formatCharCode(character) + " of " + where() +
                        " is not in the character table");
        codes.push_back(static_cast<std::uint16_t>(code));
    }
    return success();
}

template <class Where>
Status compareCodes(const std::vector<std::uint16_t>& image,
                    const std::vector<std::uint16_t>& deck, const Where& where) {
    const auto differs = std::mismatch(image.begin(), image.end(), deck.begin(), deck.end());
    if (differs.first == image.end() && differs.second == deck.end()) return success();
    const auto at = static_cast<std::size_t>(differs.first - image.begin());
    if (differs.first == image.end() || differs.second == deck.end())
        return fail(where() + " has " + std::to_string(image.size()) +
                    " characters in the image, " + std::to_string(deck.size()) + " in the deck");
    return fail(where() + " differs at character " + std::to_string(at) +
                ": the image has code " + std::to_string(*differs.first) + ", the deck code " +
                std::to_string(*differs.second));
}

Status checkGroups(const DecodedImage& image, const GroupCounts& counts) {
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        if (image.groups[g].entryCount != counts[g])
            return fail("group " + std::to_string(g) + " has " +
                        plural(image.groups[g].entryCount, "entry", "entries") + " in the image, " +
                        std::to_string(counts[g]) + " in the deck");
    }
    const std::uint64_t deckEntries = std::accumulate(counts.begin(), counts.end(), std::uint64_t{0});
    if (image.entries.size() != deckEntries)
        return fail("the image holds " + std::to_string(image.entries.size()) +
                    " entries, the deck " + std::to_string(deckEntries));
    return success();
}

Status checkTexts(const DecodedImage& image, const KvzFile& deck, const CharTable& table) {
    const auto texts = splitTexts(deck.textBlock);
    const std::size_t textCount = kGroupCount + image.entries.size() * kFieldsPerEntry;
    if (texts.size() != textCount)
        return fail("the deck has " + std::to_string(texts.size()) + " texts, its groups call for " +
                    std::to_string(textCount));
    const CodeLookup lookup(table);
    detail::PhraseExpander expander(image);
    std::vector<std::uint16_t> expanded;
    std::vector<std::uint16_t> expected;
    for (std::size_t t = 0; t < texts.size(); ++t) {
        // Named only for a message: most texts never need it.
        const auto where = [&] { return describeTextPlace(placeOfText(t, deck.groupCounts)); };
        const StoredText& stored =
            t < kGroupCount ? image.groups[t].name
                            : image.entries[(t - kGroupCount) / kFieldsPerEntry]
                                           [(t - kGroupCount) % kFieldsPerEntry];
        if (auto status = expander.expand(stored, expanded); !status)
            return fail(where() + ": " + status.reason());
        KVZ_TRY(expectedCodes(texts[t], lookup, where, expected));
        KVZ_TRY(compareCodes(expanded, expected, where));
    }
    return success();
}

// What the image can hold of a cell: 7 pixel rows, bits 0 to 6 of every
// column; the eighth row of a font glyph (bit 7) is not carried.
GlyphCell carriedPart(GlyphCell cell) {
    for (std::uint8_t& column : cell) column &= 0x7F;
    return cell;
}

Status checkCells(const DecodedImage& image, const CharTable& table) {
    const std::size_t columns = table.size() * kCellWidth;
    const std::uint64_t packed = packedSize(columns);
    if (image.glyphAreaBytes != packed)
        return fail("the glyph area has " + std::to_string(image.glyphAreaBytes) + " bytes; " +
                    std::to_string(table.size()) + " characters need " + std::to_string(packed));
    for (std::size_t i = 0; i < image.cells.size(); ++i) {
        const GlyphCell expected =
            i < table.size() ? carriedPart(selectGlyph(table[i].code)) : GlyphCell{};
        if (image.cells[i] == expected) continue;
        if (i >= table.size())
            return fail("glyph cell " + std::to_string(i) + " past the " +
                        std::to_string(table.size()) + " characters is not empty");
        return fail("glyph cell " + std::to_string(i) + " is not the glyph of character " +
                    formatCharCode(table[i].code));
    }
    return success();
}

}  // namespace

Result<DecodedImage> decodeVerifiedImage(std::span<const std::uint8_t> image, std::uint32_t loadAddress,
                                         const KvzFile& deck, const CharTable& table) {
    auto decoded = decodeImage(image, loadAddress);
    if (!decoded) return fail("the image cannot be read back: " + decoded.reason());
    KVZ_TRY(checkGroups(*decoded, deck.groupCounts));
    KVZ_TRY(checkCells(*decoded, table));
    KVZ_TRY(checkTexts(*decoded, deck, table));
    return decoded;
}

Status verifyImage(std::span<const std::uint8_t> image, std::uint32_t loadAddress,
                   const KvzFile& deck, const CharTable& table) {
    KVZ_TRY(decodeVerifiedImage(image, loadAddress, deck, table));
    return success();
}

}  // namespace kvz
