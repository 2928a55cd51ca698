// The image reading of Intel HEX text (HexReading::image in hex.h). Private to
// the module and its tests.
#pragma once

#include <string_view>

#include "common/result.h"
#include "hexfile/hex.h"
#include "hexfile/hex_reading_internal.h"

namespace kvz::detail {

// Reads `text` as one device image into the window; on failure nothing is
// stored. lowest and span cover every data record.
Result<HexData> readImageText(std::string_view text, const Window& window, bool verify);

}  // namespace kvz::detail
