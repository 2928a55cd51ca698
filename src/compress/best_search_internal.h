// Internals of the optimising encoder: candidate phrases and where they
// stand in a line.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "compress/best.h"

namespace kvz::detail {

// Characters in the default path's numbering (code = index in the sorted
// table).
using Chars = std::vector<std::uint16_t>;

inline constexpr std::uint32_t kNoPhrase = 0xFFFFFFFFu;

// Sequences that repeated pairing of the most frequent neighbouring symbols
// makes from the texts (every pair seen at least three times), spelled out.
// Every one stands in a text; there may be repeats. Each round of pairing
// spends steps for every symbol of the texts from `work`; none starts once
// work is exhausted, or once the pairing has spent its own share.
std::vector<Chars> pairingCandidates(const std::vector<Chars>& texts, BestWork& work);

// Sorts pairs of symbols packed as the pairing packs them (two numbers of 18
// bits, the left one high) into ascending order, as std::sort would, in a
// few linear passes.
void sortPackedPairs(std::vector<std::uint64_t>& keys);

// For each position of a line, the phrases that start there, shortest first.
struct MatchTable {
    std::vector<std::uint32_t> start;  // position i: ids[start[i]] .. ids[start[i + 1] - 1]
    std::vector<std::uint32_t> ids;
    std::vector<std::uint8_t> lengths;  // characters of phrase ids[k], kept beside it for the parse
    std::uint64_t walked = 0;           // steps taken to find them: kStepsPerTrieNode per node visited
};

// A node of the trie is a probe of its hash table, slower than a step of a
// parse.
inline constexpr std::uint64_t kStepsPerTrieNode = 2;

// The phrases (distinct sequences) as a trie.
class PhraseTrie {
public:
    explicit PhraseTrie(const std::vector<Chars>& phrases);
    // Every phrase standing at every position of `chars`, phrase `except`
    // left out.
    MatchTable matchAll(std::span<const std::uint16_t> chars, std::uint32_t except = kNoPhrase) const;

private:
    struct Slot {
        std::uint64_t key = 0;
        std::uint32_t child = kNoPhrase;  // kNoPhrase: the slot is free
    };
    std::uint32_t child(std::uint32_t node, std::uint16_t c) const;
    std::uint32_t childOrNew(std::uint32_t node, std::uint16_t c);
    std::size_t hashSlot(std::uint64_t key) const;

    std::vector<std::uint32_t> nodes_;  // the phrase ending at each node, or kNoPhrase
    std::vector<Slot> slots_;           // (node, character) -> child
    std::size_t mask_ = 0;
};

}  // namespace kvz::detail
