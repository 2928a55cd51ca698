// KVZ decks as readable UTF-8 TSV (layout in doc/deck-format.md): building a
// KVZ file from its TSV and dumping a KVZ file as TSV.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace kvz {

// The KVZ file that the TSV describes. A refusal's reason starts with the
// number of the line it concerns, then ": ", e.g.
// "12: short field 3 is 30 bytes in Shift_JIS, the field holds 28".
Result<std::vector<std::uint8_t>> buildKvz(std::string_view tsv);

// The TSV of a KVZ file: its texts as stored (not normalised), so that
// buildKvz gives the same bytes back wherever the text can say them.
// Refuses a file that ends before its last announced record.
Result<std::string> dumpKvz(std::span<const std::uint8_t> kvz);

}  // namespace kvz
