// The character table (distinct characters by frequency) and the texts as
// lines of character codes.
#include <algorithm>
#include <limits>

#include "compress/compress.h"

namespace kvz {
namespace {

constexpr std::uint32_t kMaxCharCount = std::numeric_limits<std::uint16_t>::max();
constexpr std::int32_t kNoEntry = -1;

// A character as a 16-bit key: lead and trail byte, or the byte and 0. A
// one-byte character is never a lead byte, so keys never collide.
std::uint16_t charKey(CharCode code) { return static_cast<std::uint16_t>(code[0] << 8 | code[1]); }

}  // namespace

Result<CharTable> countChars(const TextBlock& textBlock) {
    std::vector<std::int32_t> indexOf(1 << 16, kNoEntry);
    std::vector<std::uint32_t> counts;
    CharTable table;
    forEachCharacter(
        textBlock,
        [&](CharCode code) {
            std::int32_t& index = indexOf[charKey(code)];
            if (index == kNoEntry) {
                index = static_cast<std::int32_t>(table.size());
                table.push_back(CharEntry{code, 0});
                counts.push_back(0);
            }
            ++counts[static_cast<std::size_t>(index)];
        },
        [](std::size_t) {});
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (counts[i] > kMaxCharCount) {
            return fail("character " + formatCharCode(table[i].code) + " occurs " +
                        std::to_string(counts[i]) + " times; at most " +
                        std::to_string(kMaxCharCount) + " fit the character table");
        }
        table[i].count = static_cast<std::uint16_t>(counts[i]);
    }
    return table;
}

int cmpCode(const CharEntry& a, const CharEntry& b) {
    return static_cast<std::int16_t>(b.count) - static_cast<std::int16_t>(a.count);
}

void sortCharTable(CharTable& table) {
    std::stable_sort(table.begin(), table.end(),
                     [](const CharEntry& a, const CharEntry& b) { return cmpCode(a, b) < 0; });
}

CodeLines encode16(const CharTable& table, const TextBlock& textBlock) {
    std::vector<std::uint16_t> codeOf(1 << 16, 0);
    std::vector<bool> known(1 << 16, false);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::uint16_t key = charKey(table[i].code);
        if (!known[key]) {  // the first matching entry wins
            known[key] = true;
            codeOf[key] = static_cast<std::uint16_t>(i);
        }
    }
    CodeLines lines;
    lines.reserve(textBlock.size() + 1);
    std::size_t lengthAt = 0;
    lines.push_back(0);
    forEachCharacter(
        textBlock, [&](CharCode code) { lines.push_back(codeOf[charKey(code)]); },
        [&](std::size_t characters) {
            lines[lengthAt] = static_cast<std::uint16_t>(characters);
            lengthAt = lines.size();
            lines.push_back(0);
        });
    return lines;
}

std::vector<std::span<const std::uint16_t>> splitCodeLines(std::span<const std::uint16_t> codeLines) {
    std::vector<std::span<const std::uint16_t>> lines;
    std::size_t at = 0;
    while (at < codeLines.size() && codeLines[at] != 0) {
        const std::size_t length = std::min<std::size_t>(codeLines[at] + 1u, codeLines.size() - at);
        lines.push_back(codeLines.subspan(at, length));
        at += length;
    }
    return lines;
}

CodeLines joinCodeLines(std::span<const std::vector<std::uint16_t>> lines) {
    CodeLines codeLines;
    for (const auto& line : lines) {
        codeLines.push_back(static_cast<std::uint16_t>(line.size()));
        codeLines.insert(codeLines.end(), line.begin(), line.end());
    }
    codeLines.push_back(0);
    return codeLines;
}

std::uint32_t getLines16(std::span<const std::uint16_t> codeLines) {
    std::uint32_t lines = 0;
    std::size_t at = 0;
    while (at < codeLines.size() && codeLines[at] != 0) {
        ++lines;
        at += codeLines[at] + 1u;
    }
    return lines;
}

std::uint32_t getCodes16(std::span<const std::uint16_t> codeLines) {
    std::uint32_t largest = 0;
    bool any = false;
    std::size_t at = 0;
    while (at < codeLines.size() && codeLines[at] != 0) {
        const std::size_t end = std::min(codeLines.size(), at + codeLines[at] + 1u);
        for (std::size_t i = at; i < end; ++i) largest = std::max<std::uint32_t>(largest, codeLines[i]);
        any = true;
        at = end;
    }
    return any ? largest + 1 : 0;
}

}  // namespace kvz
