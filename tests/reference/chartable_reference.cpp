#include "reference/chartable_reference.h"

namespace kvz::reference {
namespace {

// The character at `at`: its two code bytes and its length; a lead byte
// followed by the text's end gives length 0.
struct Character {
    std::array<std::uint8_t, 2> code{};
    std::size_t length = 0;
};

Character characterAt(const TextBlock& block, std::size_t at) {
    const std::uint8_t first = block[at];
    if (!isKanji(first)) return {{first, 0}, 1};
    if (at + 1 >= block.size() || block[at + 1] == 0) return {{first, 0}, 0};
    return {{first, block[at + 1]}, 2};
}

bool matches(const std::array<std::uint8_t, 2>& entry, const Character& c) {
    return c.length == 2 ? entry == c.code : entry[0] == c.code[0];
}

// Calls visit(character) for each character of each text up to the first
// empty text, and endText(count) after each text.
template <class Visit, class EndText>
void walk(const TextBlock& block, Visit visit, EndText endText) {
    std::size_t at = 0;
    while (at < block.size() && block[at] != 0) {
        std::size_t count = 0;
        while (at < block.size() && block[at] != 0) {
            const Character c = characterAt(block, at);
            if (c.length == 0) {
                ++at;
                break;
            }
            visit(c);
            ++count;
            at += c.length;
        }
        while (at < block.size() && block[at] != 0) ++at;
        ++at;
        endText(count);
    }
}

}  // namespace

std::vector<CountedChar> countChars(const TextBlock& textBlock) {
    std::vector<CountedChar> table;
    walk(
        textBlock,
        [&](const Character& c) {
            for (CountedChar& entry : table) {
                if (matches(entry.code, c)) {
                    ++entry.count;
                    return;
                }
            }
            table.push_back({c.code, 1});
        },
        [](std::size_t) {});
    return table;
}

CodeLines encode16(const CharTable& table, const TextBlock& textBlock) {
    CodeLines lines;
    std::size_t lengthAt = 0;
    lines.push_back(0);
    walk(
        textBlock,
        [&](const Character& c) {
            std::uint16_t code = 0;
            for (std::size_t i = 0; i < table.size(); ++i) {
                if (matches(table[i].code, c)) {
                    code = static_cast<std::uint16_t>(i);
                    break;
                }
            }
            lines.push_back(code);
        },
        [&](std::size_t count) {
            lines[lengthAt] = static_cast<std::uint16_t>(count);
            lengthAt = lines.size();
            lines.push_back(0);
        });
    return lines;
}

}  // namespace kvz::reference
