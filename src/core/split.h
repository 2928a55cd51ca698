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

// The fewest parts of equal entry counts (equalPartSizes) whose images all
// fit, each converted with `encoder` (with --best, a part that fits with
// the default encoding fits --best too, and is not tried otherwise before it
// is chosen). `wholeImageBytes` is the whole deck's image size, or 0 when
// unknown: it aims the first try at that many capacities' worth of parts.
// The count is found by doubling the parts until they fit, then bisection,
// taking that more parts never make a larger part image. A part that fails
// to convert (its texts need more codes than a stream holds) counts as one
// that does not fit. Fails when not even one entry a part fits.
Result<std::vector<DeckPart>> splitToFit(const KvzFile& file, Encoder encoder, std::uint64_t wholeImageBytes);

// The same count found the plain way: every number of parts from 2 up
// tried in turn, each part converted with `encoder`. The test oracle of
// splitToFit.
std::size_t fewestPartsPlainly(const KvzFile& file, Encoder encoder);

}  // namespace kvz
