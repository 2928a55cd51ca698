#include "reference/phrases_reference.h"

#include <algorithm>

namespace kvz::reference {
namespace {

// Offset of line `index` (its length word), or of the zero word when there
// are fewer lines.
std::size_t lineStart(const CodeLines& buffer, std::size_t index) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < index && buffer[at] != 0; ++i) at += buffer[at] + 1u;
    return at;
}

bool matchesAt(const CodeLines& buffer, std::size_t at, const std::vector<std::uint16_t>& s) {
    return std::equal(s.begin(), s.end(), buffer.begin() + static_cast<std::ptrdiff_t>(at));
}

int countOccurrences(const CodeLines& buffer, const std::vector<std::uint16_t>& s) {
    const std::size_t length = s.size();
    int count = 0;
    for (std::size_t at = 0; buffer[at] != 0; at += buffer[at] + 1u) {
        const std::size_t n = buffer[at];
        if (n < length) continue;
        std::size_t q = 0;
        while (q <= n - length) {
            if (matchesAt(buffer, at + 1 + q, s)) {
                ++count;
                q += length;
            } else {
                ++q;
            }
        }
    }
    return count;
}

void replaceOccurrences(CodeLines& buffer, const std::vector<std::uint16_t>& s,
                        std::uint16_t phraseCode) {
    const std::size_t length = s.size();
    for (std::size_t at = 0; buffer[at] != 0; at += buffer[at] + 1u) {
        if (buffer[at] < length) continue;
        std::size_t q = 0;
        while (buffer[at] >= length && q <= buffer[at] - length) {
            const std::size_t place = at + 1 + q;
            if (matchesAt(buffer, place, s)) {
                buffer[place] = phraseCode;
                buffer.erase(buffer.begin() + static_cast<std::ptrdiff_t>(place + 1),
                             buffer.begin() + static_cast<std::ptrdiff_t>(place + length));
                buffer[at] = static_cast<std::uint16_t>(buffer[at] - (length - 1));
                q += 1;
            } else {
                q += 1;
            }
        }
    }
}

void appendPhraseLine(CodeLines& buffer, const std::vector<std::uint16_t>& s) {
    const std::size_t end = lineStart(buffer, static_cast<std::size_t>(-1));
    buffer.resize(end);
    buffer.push_back(static_cast<std::uint16_t>(s.size()));
    buffer.insert(buffer.end(), s.begin(), s.end());
    buffer.push_back(0);
}

int costOf(const std::vector<std::uint16_t>& s, std::uint8_t limit) {
    int cost = 0;
    for (std::uint16_t code : s) cost += code < limit ? 1 : 2;
    return cost;
}

}  // namespace

void substitutePhrases(CodeLines& codeLines, std::uint16_t codesBefore,
                       const PhraseProgress& progress) {
    if (codeLines.empty()) codeLines.push_back(0);
    codeLines.resize(lineStart(codeLines, static_cast<std::size_t>(-1)) + 1);
    std::uint16_t nextCode = codesBefore;
    const std::uint8_t limit = getC2Code(codesBefore);
    for (int length = 116; length >= 2; --length) {
        if (progress) progress(length - 2);
        const auto L = static_cast<std::size_t>(length);
        for (std::size_t line = 0;; ++line) {
            std::size_t at = lineStart(codeLines, line);
            if (codeLines[at] == 0) break;
            for (std::size_t p = 0; codeLines[at] >= L && p <= codeLines[at] - L; ++p) {
                const auto first = codeLines.begin() + static_cast<std::ptrdiff_t>(at + 1 + p);
                const std::vector<std::uint16_t> candidate(first, first + length);
                const int count = countOccurrences(codeLines, candidate);
                const int cost = costOf(candidate, limit);
                if (!(count * cost > cost + 2 * count + 1)) continue;
                replaceOccurrences(codeLines, candidate, nextCode);
                appendPhraseLine(codeLines, candidate);
                ++nextCode;
                at = lineStart(codeLines, line);
            }
        }
    }
}

}  // namespace kvz::reference
