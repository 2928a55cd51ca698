// One deck's conversion, from its texts to the device image, with every
// intermediate product kept for reports and checks.
#pragma once

#include <cstdint>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "input/kvz.h"

namespace kvz {

struct Conversion {
    CharTable charTable;             // most frequent first; code = index
    CodeLines codeLines;             // after phrase substitution
    std::uint32_t linesBefore = 0;   // lines made from texts
    std::uint32_t codesBefore = 0;   // F: codes below it are characters
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> image;  // placed at kLoadAddress
};

// Runs every stage; fails with the reason when the deck does not fit the
// device's formats.
Result<Conversion> convertKvz(const KvzFile& file, const PhraseProgress& progress = {});

}  // namespace kvz
