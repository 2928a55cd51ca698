// Fixtures for the optimising encoder's tests: a deck's default encoding,
// and checks of an encoding written independently of the encoder.
#pragma once

#include <algorithm>
#include <map>
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

inline std::size_t streamBytes(const Encoded& e) {
    const auto phrases = static_cast<std::int32_t>(getLines16(e.encoding.codeLines) - e.frame.linesBefore);
    auto stream = encode8(e.encoding.codeLines, phrases, e.frame.codesBefore, e.frame.groupCounts);
    if (!stream) throw std::runtime_error(stream.reason());
    return stream->size();
}

}  // namespace kvz::testing
