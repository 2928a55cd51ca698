// Candidate phrases for the optimising encoder, and where they stand.
#include <algorithm>
#include <utility>

#include "compress/best_search_internal.h"

namespace kvz::detail {
namespace {

constexpr std::uint32_t kFirstPair = 0x10000;  // symbols from here on are pairs
constexpr int kPairingRounds = 400;
constexpr std::uint32_t kFewestPairs = 3;       // a pair seen less often is left alone
constexpr std::size_t kPairsPerRound = 16;
// Once the most frequent pair is this rare, rounds take many more pairs: the
// order among rare pairs matters little, and rounds cost time.
constexpr std::uint32_t kRarePairs = 8;
constexpr std::size_t kRarePairsPerRound = 256;
// A symbol of a round costs about as much as four steps of a parse: its pair
// is counted, sorted in three passes and looked up. The pairing spends at most
// kMostPairingSteps: decks of many repeats would pair for all their rounds.
constexpr std::uint64_t kStepsPerPairedSymbol = 4;
constexpr std::uint64_t kMostPairingSteps = 24'000'000;

std::uint64_t pairKey(std::uint32_t left, std::uint32_t right) {
    return static_cast<std::uint64_t>(left) << 32 | right;
}

// Every symbol is below this: characters, then at most kRarePairsPerRound
// pairs made per round.
constexpr int kSymbolBits = 18;
static_assert(kFirstPair + kPairingRounds * kRarePairsPerRound <= std::uint32_t{1} << kSymbolBits);

// A pair as one number of 2 * kSymbolBits bits, ordered as pairKey orders.
std::uint64_t packedPair(std::uint32_t left, std::uint32_t right) {
    return static_cast<std::uint64_t>(left) << kSymbolBits | right;
}
std::uint64_t pairKeyOf(std::uint64_t packed) {
    constexpr std::uint64_t kSymbolMask = (std::uint64_t{1} << kSymbolBits) - 1;
    return pairKey(static_cast<std::uint32_t>(packed >> kSymbolBits), static_cast<std::uint32_t>(packed & kSymbolMask));
}

}  // namespace

void sortPackedPairs(std::vector<std::uint64_t>& keys) {
    constexpr int kDigitBits = 12;
    constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
    std::vector<std::uint64_t> sorted(keys.size());
    std::vector<std::size_t> bucket(kDigits);
    for (int shift = 0; shift < 2 * kSymbolBits; shift += kDigitBits) {
        std::fill(bucket.begin(), bucket.end(), 0);
        for (std::uint64_t key : keys) ++bucket[(key >> shift) & (kDigits - 1)];
        std::size_t at = 0;
        for (std::size_t& b : bucket) at += std::exchange(b, at);
        for (std::uint64_t key : keys) sorted[bucket[(key >> shift) & (kDigits - 1)]++] = key;
        keys.swap(sorted);
    }
}

namespace {

// The pairs of neighbouring symbols that a round replaces, with their
// counts: the most frequent first (ties by key), each seen at least
// kFewestPairs times and at least three quarters as often as the first; at
// most kPairsPerRound of them, or kRarePairsPerRound once the first is rare.
std::vector<std::pair<std::uint32_t, std::uint64_t>> pairsToReplace(
    const std::vector<std::vector<std::uint32_t>>& lines) {
    std::vector<std::uint64_t> keys;
    for (const auto& line : lines)
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            // In a run of equal symbols only every other pair can be replaced.
            if (i > 0 && line[i - 1] == line[i] && line[i] == line[i + 1] && (i % 2) == 1) continue;
            keys.push_back(packedPair(line[i], line[i + 1]));
        }
    sortPackedPairs(keys);
    std::vector<std::pair<std::uint32_t, std::uint64_t>> counted;
    std::uint32_t top = 0;
    for (std::size_t i = 0; i < keys.size();) {
        std::size_t j = i;
        while (j < keys.size() && keys[j] == keys[i]) ++j;
        const auto count = static_cast<std::uint32_t>(j - i);
        if (count >= kFewestPairs) counted.push_back({count, pairKeyOf(keys[i])});
        top = std::max(top, count);
        i = j;
    }
    const std::uint32_t floor = std::max(kFewestPairs, top * 3 / 4);
    std::erase_if(counted, [&](const auto& pair) { return pair.first < floor; });
    const std::size_t most = std::min(counted.size(), top < kRarePairs ? kRarePairsPerRound : kPairsPerRound);
    auto moreFrequent = [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    };
    std::partial_sort(counted.begin(), counted.begin() + static_cast<std::ptrdiff_t>(most), counted.end(), moreFrequent);
    counted.resize(most);
    return counted;
}

}  // namespace

std::vector<Chars> pairingCandidates(const std::vector<Chars>& texts, BestWork& work) {
    std::vector<std::vector<std::uint32_t>> lines;
    for (const Chars& text : texts) lines.emplace_back(text.begin(), text.end());
    std::vector<Chars> made;  // symbol kFirstPair + i stands for made[i]
    auto spell = [&](std::uint32_t symbol, Chars& out) {
        if (symbol < kFirstPair)
            out.push_back(static_cast<std::uint16_t>(symbol));
        else
            out.insert(out.end(), made[symbol - kFirstPair].begin(), made[symbol - kFirstPair].end());
    };
    std::vector<bool> startsAPair(std::size_t{1} << kSymbolBits, false);  // the left symbol of a chosen pair
    const std::uint64_t start = work.spent;
    for (int round = 0; round < kPairingRounds && !work.stopHere() && work.spent - start < kMostPairingSteps;
         ++round) {
        for (const auto& line : lines) work.spent += kStepsPerPairedSymbol * line.size();
        const auto pairs = pairsToReplace(lines);
        if (pairs.empty()) break;
        std::vector<std::pair<std::uint64_t, std::uint32_t>> chosen;  // key, symbol
        for (const auto& [count, key] : pairs) {
            Chars spelled;
            spell(static_cast<std::uint32_t>(key >> 32), spelled);
            spell(static_cast<std::uint32_t>(key & 0xFFFFFFFFu), spelled);
            chosen.push_back({key, static_cast<std::uint32_t>(kFirstPair + made.size())});
            made.push_back(std::move(spelled));
            startsAPair[key >> 32] = true;
        }
        std::sort(chosen.begin(), chosen.end());
        for (auto& line : lines) {
            std::size_t write = 0;
            for (std::size_t read = 0; read < line.size();) {
                if (read + 1 < line.size() && startsAPair[line[read]]) {
                    const std::uint64_t key = pairKey(line[read], line[read + 1]);
                    auto found = std::lower_bound(chosen.begin(), chosen.end(), std::make_pair(key, 0u));
                    if (found != chosen.end() && found->first == key) {
                        line[write++] = found->second;
                        read += 2;
                        continue;
                    }
                }
                line[write++] = line[read++];
            }
            line.resize(write);
        }
        for (const auto& pair : chosen) startsAPair[pair.first >> 32] = false;
    }
    return made;
}

PhraseTrie::PhraseTrie(const std::vector<Chars>& phrases) {
    nodes_.push_back(kNoPhrase);
    std::size_t capacity = 64;
    std::size_t total = 0;
    for (const Chars& phrase : phrases) total += phrase.size();
    while (capacity < total * 2 + 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (std::size_t id = 0; id < phrases.size(); ++id) {
        std::uint32_t node = 0;
        for (std::uint16_t c : phrases[id]) node = childOrNew(node, c);
        nodes_[node] = static_cast<std::uint32_t>(id);
    }
}

std::uint32_t PhraseTrie::child(std::uint32_t node, std::uint16_t c) const {
    const std::uint64_t key = static_cast<std::uint64_t>(node) << 16 | c;
    for (std::size_t slot = hashSlot(key);; slot = (slot + 1) & mask_) {
        if (slots_[slot].child == kNoPhrase) return kNoPhrase;
        if (slots_[slot].key == key) return slots_[slot].child;
    }
}

std::uint32_t PhraseTrie::childOrNew(std::uint32_t node, std::uint16_t c) {
    const std::uint64_t key = static_cast<std::uint64_t>(node) << 16 | c;
    std::size_t slot = hashSlot(key);
    for (; slots_[slot].child != kNoPhrase; slot = (slot + 1) & mask_)
        if (slots_[slot].key == key) return slots_[slot].child;
    const auto made = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back(kNoPhrase);
    slots_[slot] = Slot{key, made};
    return made;
}

std::size_t PhraseTrie::hashSlot(std::uint64_t key) const {
    key ^= key >> 29;
    key *= 0xBF58476D1CE4E5B9ull;
    key ^= key >> 32;
    return static_cast<std::size_t>(key) & mask_;
}

MatchTable PhraseTrie::matchAll(std::span<const std::uint16_t> chars, std::uint32_t except) const {
    MatchTable table;
    table.start.reserve(chars.size() + 1);
    for (std::size_t from = 0; from < chars.size(); ++from) {
        table.start.push_back(static_cast<std::uint32_t>(table.ids.size()));
        std::uint32_t node = 0;
        for (std::size_t i = from; i < chars.size(); ++i) {
            table.walked += kStepsPerTrieNode;
            node = child(node, chars[i]);
            if (node == kNoPhrase) break;
            const std::uint32_t id = nodes_[node];
            if (id == kNoPhrase || id == except) continue;
            table.ids.push_back(id);
            table.lengths.push_back(static_cast<std::uint8_t>(i - from + 1));
        }
    }
    table.start.push_back(static_cast<std::uint32_t>(table.ids.size()));
    return table;
}

}  // namespace kvz::detail
