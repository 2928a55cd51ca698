// The character table and code lines built the plain way: every character is
// looked up by a linear search of the table. Oracles for the indexed versions.
#pragma once

#include "compress/compress.h"

namespace kvz::reference {

// Entries in order of first appearance with counts as 32-bit numbers, so
// that the caller sees what the 16-bit table would have to hold.
struct CountedChar {
    std::array<std::uint8_t, 2> code{};
    std::uint32_t count = 0;
};
std::vector<CountedChar> countChars(const TextBlock& textBlock);

CodeLines encode16(const CharTable& table, const TextBlock& textBlock);

}  // namespace kvz::reference
