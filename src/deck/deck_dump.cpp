// A deck's KVZ records written as kvzdeck's TSV text: each stored
// character in the form that builds back into the same bytes.
#include "deck/deck.h"
#include "deck/deck_internal.h"

#include <optional>
#include <string_view>

#include "deck/cp932.h"
#include "deck/utf8.h"
#include "glyph/glyph.h"
#include "input/kvz.h"

namespace kvz {
namespace {

using deck_internal::appendRawBytes;
using deck_internal::Bytes;
using deck_internal::encodeCharacter;

// Appends the TSV form of one stored character (one byte, or a lead and a
// trail byte): printable ASCII as it is, other characters as Unicode only
// when building them back gives the same bytes, control codes as raw bytes.
void appendCharacter(std::string& out, std::string_view code, bool lineStart) {
    const bool oneByte = code.size() == 1;
    const char first = code.front();
    if (oneByte && first == '\\') {
        out += "\\\\";
    } else if (oneByte && first == '\t') {
        out += "\\t";
    } else if (oneByte && first == '#' && lineStart) {
        out += "\\#";
    } else if (oneByte && first >= 0x20 && first <= 0x7E) {
        out += first;
    } else if (const std::optional<char32_t> character = cp932ToUnicode(code);
               character && *character >= 0x80 && encodeCharacter(*character) == code) {
        appendUtf8(out, *character);
    } else {
        appendRawBytes(out, code);
    }
}

// The TSV form of a stored text; `lineStart` when it begins a line.
std::string escapeText(const Bytes& text, bool lineStart) {
    if (text.empty()) return "\\e";
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = isKanji(static_cast<std::uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
        appendCharacter(out, std::string_view(text).substr(i, length), lineStart && i == 0);
        i += length;
    }
    return out;
}

constexpr std::string_view kDumpHeader =
    "# KVZ deck: each group name on a line of its own, followed by its entries,\n"
    "# one per line: long field, short fields 1 to 5, tab-separated.\n";

}  // namespace

Result<std::string> dumpKvz(std::span<const std::uint8_t> kvz) {
    Result<GroupCounts> counts = checkKvzRecords(kvz);
    KVZ_TRY(counts);

    std::string tsv(kDumpHeader);
    std::size_t record = kGroupCount;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const auto group = kvz.subspan(g * kRecordSize, kRecordSize);
        // A blank line sets each group with entries apart from the one before.
        if (g == 0 || (*counts)[g - 1] > 0) tsv += '\n';
        tsv += escapeText(storedFieldText(group.first(kGroupNameWidth), false), true) + "\n";
        for (std::uint32_t e = 0; e < (*counts)[g]; ++e, ++record) {
            const auto entry = kvz.subspan(record * kRecordSize, kRecordSize);
            for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
                const auto field = entry.subspan(kEntryFieldLayout[f].offset, kEntryFieldLayout[f].width);
                if (f > 0) tsv += '\t';
                tsv += escapeText(storedFieldText(field, true), f == 0);
            }
            tsv += '\n';
        }
    }
    return tsv;
}

}  // namespace kvz
