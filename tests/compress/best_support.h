// Fixtures for the optimising encoder's tests: a deck's default encoding,
// and checks of an encoding written independently of the encoder.
#pragma once

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "compress/best.h"
#include "compress/compress.h"
#include "input/kvz.h"

namespace kvz::testing {

struct Encoded {
    TextEncoding encoding;
    EncodingFrame frame;
};

// The default path: sorted table, fresh lines, phrase substitution.
inline Encoded encodeStandard(const KvzFile& file) {
    auto table = countChars(file.textBlock);
    if (!table) throw std::runtime_error(table.reason());
    sortCharTable(*table);
    Encoded result;
    result.encoding.charTable = *table;
    result.encoding.codeLines = encode16(*table, file.textBlock);
    result.frame.linesBefore = getLines16(result.encoding.codeLines);
    result.frame.codesBefore = static_cast<std::uint16_t>(getCodes16(result.encoding.codeLines));
    result.frame.groupCounts = file.groupCounts;
    substitutePhrases(result.encoding.codeLines, result.frame.codesBefore);
    return result;
}

inline std::vector<std::vector<std::uint16_t>> splitBodies(const CodeLines& codeLines) {
    std::vector<std::vector<std::uint16_t>> lines;
    std::size_t at = 0;
    while (codeLines.at(at) != 0) {
        lines.emplace_back(codeLines.begin() + static_cast<std::ptrdiff_t>(at + 1),
                           codeLines.begin() + static_cast<std::ptrdiff_t>(at + 1 + codeLines[at]));
        at += codeLines[at] + 1u;
    }
    return lines;
}

// What an encoding's lines say, written plainly: every text as its
// characters (two code bytes each), and facts about the phrases.
struct Reading {
    std::vector<std::vector<std::uint16_t>> texts;
    std::vector<std::vector<std::uint16_t>> phraseSpellings;
    std::size_t phrases = 0;
    std::size_t longestPhraseLine = 0;
    std::size_t deepestNesting = 0;  // 0: no phrases
    bool everyPhraseUsed = true;
};

inline Reading readEncoding(const Encoded& e) {
    const auto lines = splitBodies(e.encoding.codeLines);
    const std::size_t textCount = e.frame.linesBefore;
    const std::uint16_t first = e.frame.codesBefore;
    Reading r;
    r.phrases = lines.size() - textCount;
    std::map<std::size_t, std::size_t> depthMemo;
    std::vector<bool> used(r.phrases, false);
    // Plain recursion: throws on a code out of range or a cycle (depth past
    // the number of phrases).
    auto spell = [&](auto& self, const std::vector<std::uint16_t>& line, std::size_t level,
                     std::vector<std::uint16_t>& out) -> std::size_t {
        if (level > r.phrases + 1) throw std::runtime_error("phrases form a cycle");
        std::size_t deepest = 0;
        for (std::uint16_t code : line) {
            if (code < first) {
                const auto& c = e.encoding.charTable.at(code).code;
                out.push_back(static_cast<std::uint16_t>(c[0] << 8 | c[1]));
                continue;
            }
            const std::size_t k = code - first;
            if (k >= r.phrases) throw std::runtime_error("phrase code without a line");
            used[k] = true;
            deepest = std::max(deepest, 1 + self(self, lines[textCount + k], level + 1, out));
        }
        return deepest;
    };
    for (std::size_t i = 0; i < textCount; ++i) {
        std::vector<std::uint16_t> text;
        spell(spell, lines[i], 0, text);
        r.texts.push_back(text);
    }
    for (std::size_t k = 0; k < r.phrases; ++k) {
        std::vector<std::uint16_t> spelled;
        const std::size_t depth = 1 + spell(spell, lines[textCount + k], 1, spelled);
        r.deepestNesting = std::max(r.deepestNesting, depth);
        r.longestPhraseLine = std::max(r.longestPhraseLine, lines[textCount + k].size());
        r.phraseSpellings.push_back(spelled);
    }
    r.everyPhraseUsed = std::all_of(used.begin(), used.end(), [](bool u) { return u; });
    return r;
}

// A random deck drawn directly as its texts.
struct DeckShape {
    const char* name;
    int entries;
    int alphabet;        // distinct two-byte characters to draw from
    int longestLong;     // characters of a long field (at most 58)
    int longestShort;    // characters of a short field (at most 14)
    bool words;          // texts built from a few repeated words
};

// The shapes the tests draw decks of.
inline constexpr DeckShape kDeckShapes[] = {
    {"SmallAlphabet", 40, 6, 40, 10, false},
    {"Words", 60, 30, 58, 14, true},
    {"ShortTextsFewCodes", 30, 12, 6, 6, true},  // F < B: one-byte phrase codes
    {"TinyDeck", 1, 4, 20, 5, true},
    {"ManyCharacters", 300, 6000, 58, 14, true},  // low one-byte limit
    {"ManyEntries", 300, 300, 10, 4, true},       // group values near their limit
};

inline std::uint16_t charNumber(int n) {
    // Two-byte characters 0x8890 on: 60 lead bytes x 188 trail bytes.
    const int lead = 0x88 + n / 188;
    const int trailIndex = n % 188;
    const int trail = 0x40 + trailIndex + (trailIndex >= 0x3F ? 1 : 0);  // skip 0x7F
    return static_cast<std::uint16_t>((lead > 0x9F ? lead + 0x40 : lead) << 8 | trail);
}

inline KvzFile randomDeck(const DeckShape& shape, unsigned seed) {
    std::mt19937 random(seed);
    auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<std::vector<int>> words;
    for (int w = 0; w < 24; ++w) {
        std::vector<int> word;
        const int length = 2 + below(5);
        for (int i = 0; i < length; ++i) word.push_back(below(shape.alphabet));
        words.push_back(word);
    }
    KvzFile file;
    auto addText = [&](int longest) {
        const int length = 1 + below(longest);
        std::vector<int> chars;
        while (static_cast<int>(chars.size()) < length) {
            if (shape.words && below(4) != 0) {
                const auto& word = words[static_cast<std::size_t>(below(static_cast<int>(words.size())))];
                chars.insert(chars.end(), word.begin(), word.end());
            } else {
                chars.push_back(below(shape.alphabet));
            }
        }
        chars.resize(static_cast<std::size_t>(length));
        for (int c : chars) {
            const std::uint16_t code = charNumber(c);
            file.textBlock.push_back(static_cast<std::uint8_t>(code >> 8));
            file.textBlock.push_back(static_cast<std::uint8_t>(code & 0xFF));
        }
        file.textBlock.push_back(0);
    };
    for (int g = 0; g < 8; ++g) addText(8);
    int left = shape.entries;
    for (int g = 0; g < 8; ++g) {
        const int count = g == 7 ? left : below(left / (8 - g) * 2 + 1);
        file.groupCounts[static_cast<std::size_t>(g)] = static_cast<std::uint32_t>(std::min(count, left));
        left -= static_cast<int>(file.groupCounts[static_cast<std::size_t>(g)]);
    }
    for (int e = 0; e < shape.entries; ++e) {
        addText(shape.longestLong);
        for (int f = 0; f < 5; ++f) addText(shape.longestShort);
    }
    file.textBlock.push_back(0);
    return file;
}

inline std::size_t streamBytes(const Encoded& e) {
    const auto phrases = static_cast<std::int32_t>(getLines16(e.encoding.codeLines) - e.frame.linesBefore);
    auto stream = encode8(e.encoding.codeLines, phrases, e.frame.codesBefore, e.frame.groupCounts);
    if (!stream) throw std::runtime_error(stream.reason());
    return stream->size();
}

}  // namespace kvz::testing
