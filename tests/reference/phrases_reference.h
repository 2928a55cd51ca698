// The phrase substitution exactly as the device format describes it, step by
// step on the flat code lines: every candidate rescans every line. Slow by
// design; it is the oracle for the indexed version.
#pragma once

#include "compress/compress.h"

namespace kvz::reference {

void substitutePhrases(CodeLines& codeLines, std::uint16_t codesBefore,
                       const PhraseProgress& progress = {});

}  // namespace kvz::reference
