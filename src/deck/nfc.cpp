#include "deck/nfc.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "deck/nfc_table.h"
#include "deck/utf8.h"

namespace kvz {
namespace {

// Hangul syllables: leading consonant, vowel and optional final, by algorithm.
constexpr char32_t kSyllableFirst = 0xAC00, kLeadFirst = 0x1100, kVowelFirst = 0x1161, kFinalFirst = 0x11A7;
constexpr char32_t kLeads = 19, kVowels = 21, kFinals = 28, kSyllables = kLeads * kVowels * kFinals;

std::uint8_t combiningClass(char32_t c) {
    const auto found = std::lower_bound(nfc::kCombiningClasses.begin(), nfc::kCombiningClasses.end(), c,
                                        [](const nfc::CombiningClass& entry, char32_t wanted) { return entry.character < wanted; });
    return found != nfc::kCombiningClasses.end() && found->character == c ? found->combiningClass : 0;
}

bool isHangulVowelOrFinal(char32_t c) {
    return (c >= kVowelFirst && c < kVowelFirst + kVowels) || (c > kFinalFirst && c < kFinalFirst + kFinals);
}

// Whether `c` may combine with a character before it.
bool combinesBackward(char32_t c) {
    return combiningClass(c) != 0 || isHangulVowelOrFinal(c) ||
           std::binary_search(nfc::kCompositionSeconds.begin(), nfc::kCompositionSeconds.end(), c);
}

void appendDecomposed(char32_t c, std::vector<char32_t>& out) {
    if (c >= kSyllableFirst && c < kSyllableFirst + kSyllables) {
        const char32_t index = c - kSyllableFirst;
        out.push_back(kLeadFirst + index / (kVowels * kFinals));
        out.push_back(kVowelFirst + index % (kVowels * kFinals) / kFinals);
        if (index % kFinals != 0) out.push_back(kFinalFirst + index % kFinals);
        return;
    }
    const auto found = std::lower_bound(nfc::kDecompositions.begin(), nfc::kDecompositions.end(), c,
                                        [](const nfc::Decomposition& entry, char32_t wanted) { return entry.character < wanted; });
    if (found == nfc::kDecompositions.end() || found->character != c) {
        out.push_back(c);
        return;
    }
    for (const char32_t part : found->parts)
        if (part != 0) out.push_back(part);
}

std::optional<char32_t> composite(char32_t first, char32_t second) {
    if (first >= kLeadFirst && first < kLeadFirst + kLeads && second >= kVowelFirst && second < kVowelFirst + kVowels)
        return kSyllableFirst + ((first - kLeadFirst) * kVowels + (second - kVowelFirst)) * kFinals;
    if (first >= kSyllableFirst && first < kSyllableFirst + kSyllables && (first - kSyllableFirst) % kFinals == 0 &&
        second > kFinalFirst && second < kFinalFirst + kFinals)
        return first + (second - kFinalFirst);
    const nfc::Composition wanted{first, second, 0};
    const auto found = std::lower_bound(nfc::kCompositions.begin(), nfc::kCompositions.end(), wanted,
                                        [](const nfc::Composition& a, const nfc::Composition& b) {
                                            return a.first != b.first ? a.first < b.first : a.second < b.second;
                                        });
    if (found == nfc::kCompositions.end() || found->first != first || found->second != second) return std::nullopt;
    return found->composite;
}

// One run, decomposed, its marks in canonical order, and composed again.
std::string normalisedRun(std::string_view run) {
    std::vector<char32_t> characters;
    for (std::size_t i = 0; i < run.size();) {
        const Utf8Character character = *decodeUtf8(run.substr(i));
        appendDecomposed(character.codePoint, characters);
        i += character.length;
    }
    // Canonical order: each stretch of marks sorted by class, stably.
    for (std::size_t start = 0; start < characters.size();) {
        std::size_t end = start;
        while (end < characters.size() && combiningClass(characters[end]) != 0) ++end;
        std::stable_sort(characters.begin() + static_cast<std::ptrdiff_t>(start),
                         characters.begin() + static_cast<std::ptrdiff_t>(end),
                         [](char32_t a, char32_t b) { return combiningClass(a) < combiningClass(b); });
        start = end == start ? end + 1 : end;
    }
    std::vector<char32_t> composed;
    std::optional<std::size_t> starter;
    std::uint8_t lastClass = 0;
    for (const char32_t c : characters) {
        const std::uint8_t cc = combiningClass(c);
        if (starter) {
            const bool adjacent = *starter + 1 == composed.size();
            if (adjacent || (lastClass != 0 && lastClass < cc)) {
                if (const std::optional<char32_t> joined = composite(composed[*starter], c)) {
                    composed[*starter] = *joined;
                    continue;
                }
            }
        }
        if (cc == 0) starter = composed.size();
        composed.push_back(c);
        lastClass = cc;
    }
    std::string out;
    for (const char32_t c : composed) appendUtf8(out, c);
    return out;
}

}  // namespace

std::string composeCombiningMarks(std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<Utf8Character> first = decodeUtf8(utf8.substr(i));
        if (!first) {
            out += utf8[i++];
            continue;
        }
        std::size_t end = i + first->length;
        bool combines = false;
        while (end < utf8.size()) {
            const std::optional<Utf8Character> next = decodeUtf8(utf8.substr(end));
            if (!next || !combinesBackward(next->codePoint)) break;
            combines = true;
            end += next->length;
        }
        const std::string_view run = utf8.substr(i, end - i);
        if (combines) {
            out += normalisedRun(run);
        } else {
            out += run;
        }
        i = end;
    }
    return out;
}

}  // namespace kvz
