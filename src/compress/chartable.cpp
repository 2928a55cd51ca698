// The character table (distinct characters by frequency) and the texts as
// lines of character codes.
#include <algorithm>
#include <cstdio>
#include <limits>

#include "compress/compress.h"

namespace kvz {
namespace {

constexpr std::uint32_t kMaxCharCount = std::numeric_limits<std::uint16_t>::max();
constexpr std::int32_t kNoEntry = -1;

// A character as a 16-bit key: lead and trail byte, or the byte and 0. A
// one-byte character is never a lead byte, so keys never collide.
std::uint16_t charKey(std::uint8_t first, std::uint8_t second) {
    return static_cast<std::uint16_t>(first << 8 | second);
}

// Calls visit(key) for every character of the texts up to the first empty
// text, and endText(characters) after each text. A lead byte whose trail
// byte would be the text's zero byte ends the text.
template <class Visit, class EndText>
void forEachCharacter(const TextBlock& textBlock, Visit visit, EndText endText) {
    std::size_t i = 0;
    const std::size_t size = textBlock.size();
    while (i < size && textBlock[i] != 0) {
        std::size_t characters = 0;
        while (i < size && textBlock[i] != 0) {
            const std::uint8_t first = textBlock[i];
            if (isKanji(first)) {
                if (i + 1 >= size || textBlock[i + 1] == 0) {
                    ++i;
                    break;
                }
                visit(charKey(first, textBlock[i + 1]));
                i += 2;
            } else {
                visit(charKey(first, 0));
                i += 1;
            }
            ++characters;
        }
        while (i < size && textBlock[i] != 0) ++i;  // rest of a cut text
        ++i;                                          // its zero byte
        endText(characters);
    }
}

std::string describeChar(std::uint16_t key) {
    char text[16];
    if ((key & 0xFF) == 0 && !isKanji(static_cast<std::uint8_t>(key >> 8)))
        std::snprintf(text, sizeof text, "0x%02X", key >> 8);
    else
        std::snprintf(text, sizeof text, "0x%04X", key);
    return text;
}

}  // namespace

Result<CharTable> countChars(const TextBlock& textBlock) {
    std::vector<std::int32_t> indexOf(1 << 16, kNoEntry);
    std::vector<std::uint32_t> counts;
    CharTable table;
    forEachCharacter(
        textBlock,
        [&](std::uint16_t key) {
            std::int32_t& index = indexOf[key];
            if (index == kNoEntry) {
                index = static_cast<std::int32_t>(table.size());
                table.push_back(CharEntry{{static_cast<std::uint8_t>(key >> 8),
                                           static_cast<std::uint8_t>(key & 0xFF)},
                                          0});
                counts.push_back(0);
            }
            ++counts[static_cast<std::size_t>(index)];
        },
        [](std::size_t) {});
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (counts[i] > kMaxCharCount) {
            const auto& code = table[i].code;
            return fail("character " + describeChar(charKey(code[0], code[1])) + " occurs " +
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
        const std::uint16_t key = charKey(table[i].code[0], table[i].code[1]);
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
        textBlock, [&](std::uint16_t key) { lines.push_back(codeOf[key]); },
        [&](std::size_t characters) {
            lines[lengthAt] = static_cast<std::uint16_t>(characters);
            lengthAt = lines.size();
            lines.push_back(0);
        });
    return lines;
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
