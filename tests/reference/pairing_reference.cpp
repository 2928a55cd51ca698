#include "reference/pairing_reference.h"

#include <algorithm>
#include <map>

namespace kvz::reference {
namespace {

using Chars = std::vector<std::uint16_t>;

constexpr std::uint32_t kFirstPair = 0x10000;
constexpr int kPairingRounds = 400;
constexpr std::uint32_t kFewestPairs = 3;
constexpr std::size_t kPairsPerRound = 16;
constexpr std::uint32_t kRarePairs = 8;
constexpr std::size_t kRarePairsPerRound = 256;

std::uint64_t pairKey(std::uint32_t left, std::uint32_t right) { return static_cast<std::uint64_t>(left) << 32 | right; }

std::vector<std::pair<std::uint32_t, std::uint64_t>> countPairs(const std::vector<std::vector<std::uint32_t>>& lines) {
    std::vector<std::uint64_t> keys;
    for (const auto& line : lines)
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            if (i > 0 && line[i - 1] == line[i] && line[i] == line[i + 1] && (i % 2) == 1) continue;
            keys.push_back(pairKey(line[i], line[i + 1]));
        }
    std::sort(keys.begin(), keys.end());
    std::vector<std::pair<std::uint32_t, std::uint64_t>> counted;
    for (std::size_t i = 0; i < keys.size();) {
        std::size_t j = i;
        while (j < keys.size() && keys[j] == keys[i]) ++j;
        const auto count = static_cast<std::uint32_t>(j - i);
        if (count >= kFewestPairs) counted.push_back({count, keys[i]});
        i = j;
    }
    std::sort(counted.begin(), counted.end(),
              [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
    return counted;
}

}  // namespace

std::vector<Chars> pairingCandidates(const std::vector<Chars>& texts) {
    std::vector<std::vector<std::uint32_t>> lines;
    for (const Chars& text : texts) lines.emplace_back(text.begin(), text.end());
    std::vector<Chars> made;
    auto spell = [&](std::uint32_t symbol, Chars& out) {
        if (symbol < kFirstPair)
            out.push_back(static_cast<std::uint16_t>(symbol));
        else
            out.insert(out.end(), made[symbol - kFirstPair].begin(), made[symbol - kFirstPair].end());
    };
    for (int round = 0; round < kPairingRounds; ++round) {
        const auto pairs = countPairs(lines);
        if (pairs.empty()) break;
        std::map<std::uint64_t, std::uint32_t> chosen;  // pair -> its symbol
        const std::uint32_t floor = std::max(kFewestPairs, pairs.front().first * 3 / 4);
        const std::size_t most = pairs.front().first < kRarePairs ? kRarePairsPerRound : kPairsPerRound;
        for (const auto& [count, key] : pairs) {
            if (chosen.size() >= most || (count < floor && !chosen.empty())) break;
            Chars spelled;
            spell(static_cast<std::uint32_t>(key >> 32), spelled);
            spell(static_cast<std::uint32_t>(key & 0xFFFFFFFFu), spelled);
            chosen[key] = static_cast<std::uint32_t>(kFirstPair + made.size());
            made.push_back(std::move(spelled));
        }
        // Left to right, each chosen pair becomes its symbol.
        for (auto& line : lines) {
            std::vector<std::uint32_t> replaced;
            std::size_t i = 0;
            while (i < line.size()) {
                const auto found = i + 1 < line.size() ? chosen.find(pairKey(line[i], line[i + 1])) : chosen.end();
                replaced.push_back(found == chosen.end() ? line[i] : found->second);
                i += found == chosen.end() ? 1 : 2;
            }
            line = std::move(replaced);
        }
    }
    return made;
}

}  // namespace kvz::reference
