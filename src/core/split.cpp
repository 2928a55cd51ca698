#include "core/split.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "common/layout.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

bool fits(const Conversion& conversion) { return conversionImageSize(conversion) <= kImageCapacity; }

// Conversions of parts, each made once: a part with --best is first tried
// with the default encoding, which it never exceeds.
class PartConversions {
public:
    PartConversions(const KvzFile& file, Encoder encoder) : file_(file), encoder_(encoder) {}

    // Whether the part converts into an image that fits (a part whose
    // texts need more codes than a stream holds fits no more than one too
    // large).
    bool fitsDevice(std::size_t first, std::size_t count) {
        Tried& tried = tryPart(first, count);
        if (tried.standard && fits(*tried.standard)) return true;
        if (encoder_ == Encoder::standard) return false;
        const Result<Conversion>& best = bestOf(tried);
        return best && fits(*best);
    }

    // The part's conversion with the encoder, once fitsDevice found it fits.
    DeckPart take(std::size_t first, std::size_t count) {
        Tried& tried = tryPart(first, count);
        Conversion conversion = encoder_ == Encoder::best ? std::move(bestOf(tried).value())
                                                          : std::move(tried.standard.value());
        return DeckPart{first, count, std::move(tried.deck), std::move(conversion)};
    }

private:
    struct Tried {
        KvzFile deck;
        Result<Conversion> standard;
        std::optional<Result<Conversion>> best;
    };

    Tried& tryPart(std::size_t first, std::size_t count) {
        const auto key = std::make_pair(first, count);
        if (auto found = tried_.find(key); found != tried_.end()) return found->second;
        KvzFile deck = entriesBetween(file_, first, count);
        Result<Conversion> standard = encodeKvz(deck, {}, Encoder::standard);
        return tried_.emplace(key, Tried{std::move(deck), std::move(standard), std::nullopt}).first->second;
    }

    Result<Conversion>& bestOf(Tried& tried) {
        if (!tried.best) tried.best = encodeKvz(tried.deck, {}, Encoder::best);
        return *tried.best;
    }

    const KvzFile& file_;
    Encoder encoder_;
    std::map<std::pair<std::size_t, std::size_t>, Tried> tried_;
};

bool allPartsFit(PartConversions& conversions, std::size_t entries, std::size_t parts) {
    std::size_t first = 0;
    for (const std::size_t count : equalPartSizes(entries, parts)) {
        if (!conversions.fitsDevice(first, count)) return false;
        first += count;
    }
    return true;
}

std::vector<DeckPart> takeParts(PartConversions& conversions, std::size_t entries, std::size_t parts) {
    std::vector<DeckPart> taken;
    std::size_t first = 0;
    for (const std::size_t count : equalPartSizes(entries, parts)) {
        taken.push_back(conversions.take(first, count));
        first += count;
    }
    return taken;
}

Failure noSplitFits() { return fail("not even one entry an image fits the device"); }

}  // namespace

std::vector<std::size_t> equalPartSizes(std::size_t entries, std::size_t parts) {
    parts = std::max<std::size_t>(parts, 1);
    std::vector<std::size_t> sizes(parts, entries / parts);
    for (std::size_t i = 0; i < entries % parts; ++i) ++sizes[i];
    return sizes;
}

std::size_t leastParts(const KvzFile& file) {
    std::vector<bool> seen(1 << 16, false);
    std::uint64_t characters = 0;
    forEachCharacter(
        file.textBlock,
        [&](CharCode code) {
            const auto key = static_cast<std::uint16_t>(code[0] << 8 | code[1]);
            if (!seen[key]) ++characters;
            seen[key] = true;
        },
        [](std::size_t) {});
    const std::uint64_t texts = kFieldsPerEntry * std::uint64_t{countEntries(file)};
    const std::uint64_t leastValues = 2 * texts + kCellWidth * characters;
    const std::uint64_t leastBytes = leastValues * kPackedGroupBytes / kPackedGroupValues;
    return static_cast<std::size_t>(std::max<std::uint64_t>(1, (leastBytes + kImageCapacity - 1) / kImageCapacity));
}

Failure refuseTooManyParts(std::size_t parts, std::size_t maxParts) {
    return fail("the deck needs at least " + std::to_string(parts) + " parts; --split writes at most " +
                std::to_string(maxParts) + " (--max-parts N allows N)");
}

Result<std::vector<DeckPart>> splitToFit(const KvzFile& file, Encoder encoder, std::uint64_t wholeImageBytes,
                                         std::size_t maxParts) {
    const std::size_t entries = countEntries(file);
    if (entries < 2) return noSplitFits();
    maxParts = std::max<std::size_t>(maxParts, 2);
    if (const std::size_t least = leastParts(file); least > maxParts) return refuseTooManyParts(least, maxParts);
    const std::size_t mostParts = std::min(entries, maxParts);
    PartConversions conversions(file, encoder);
    std::size_t failing = 1;  // the whole deck does not fit
    std::size_t parts =
        std::clamp<std::size_t>((wholeImageBytes + kImageCapacity - 1) / kImageCapacity, 2, mostParts);
    while (!allPartsFit(conversions, entries, parts)) {
        if (parts == entries) return noSplitFits();
        if (parts == mostParts) return refuseTooManyParts(parts + 1, maxParts);
        failing = parts;
        parts = std::min(2 * parts, mostParts);
    }
    while (parts - failing > 1) {
        const std::size_t middle = failing + (parts - failing) / 2;
        (allPartsFit(conversions, entries, middle) ? parts : failing) = middle;
    }
    return takeParts(conversions, entries, parts);
}

std::size_t fewestPartsPlainly(const KvzFile& file, Encoder encoder) {
    const std::size_t entries = countEntries(file);
    for (std::size_t parts = 2; parts <= entries; ++parts) {
        bool all = true;
        std::size_t first = 0;
        for (const std::size_t count : equalPartSizes(entries, parts)) {
            auto conversion = encodeKvz(entriesBetween(file, first, count), {}, encoder);
            first += count;
            if (!conversion || !fits(*conversion)) {
                all = false;
                break;
            }
        }
        if (all) return parts;
    }
    return 0;
}

}  // namespace kvz
