// A deck too large for the device, cut into parts in file order that each
// make an image that fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/result.h"
#include "core/convert.h"
#include "input/kvz.h"

namespace kvz {

// A part, cut by entriesBetween (core/convert.h).
struct DeckPart {
    std::size_t firstEntry = 0;  // the deck's entry it starts with, in file order from 0
    std::size_t entries = 0;
    KvzFile deck;                // its entries, under all 8 group names
    Conversion conversion;       // its image fits the device
};

// `entries` entries in `parts` parts (at least one) of as equal counts as
// can be: the first entries % parts of them one entry larger.
std::vector<std::size_t> equalPartSizes(std::size_t entries, std::size_t parts);

// The most parts a split makes unless more are allowed.
inline constexpr std::size_t kDefaultMaxParts = 64;

// The fewest parts that any split of the deck can take, counted without
// converting anything: every part's image holds at least two stream values
// (a length and a code) for each of its texts, and the glyph cell of every
// distinct character lies in one part at least, each packed to 7/8 of its
// bytes. A proof, never a guess: no split into fewer parts fits.
std::size_t leastParts(const KvzFile& file);

// The fewest parts of equal entry counts (equalPartSizes) whose images all
// fit, each converted with `encoder` (with --best, a part that fits with
// the default encoding fits --best too, and is not tried otherwise before it
// is chosen). `wholeImageBytes` is the whole deck's image size, or 0 when
// unknown: it aims the first try at that many capacities' worth of parts.
// The count is found by doubling the parts until they fit, then bisection,
// taking that more parts never make a larger part image. A part that fails
// to convert (its texts need more codes than a stream holds) counts as one
// that does not fit. Fails when not even one entry a part fits, and when
// the deck needs more than `maxParts` parts: at once where leastParts says
// so, else as soon as `maxParts` parts do not fit ("the deck needs at least
// 82 parts; --split writes at most 64 (--max-parts N allows N)").
Result<std::vector<DeckPart>> splitToFit(const KvzFile& file, Encoder encoder, std::uint64_t wholeImageBytes,
                                         std::size_t maxParts = kDefaultMaxParts);

// The refusal of a deck that needs at least `parts` parts, more than `maxParts`.
Failure refuseTooManyParts(std::size_t parts, std::size_t maxParts);

// The same count found the plain way: every number of parts from 2 up
// tried in turn, each part converted with `encoder`. The test oracle of
// splitToFit.
std::size_t fewestPartsPlainly(const KvzFile& file, Encoder encoder);

}  // namespace kvz
