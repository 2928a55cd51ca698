// JIS X 0208 codes, their Shift_JIS bytes and their Unicode characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "system_cp932.h"

namespace fontgen {

inline constexpr int kJisRows = 94;
inline constexpr int kJisColumns = 94;

// The Shift_JIS bytes of JIS X 0208 row and column (both 1 to 94).
std::array<unsigned char, 2> shiftJisOf(int row, int column);

// UTF-8 form of a Unicode character.
std::string utf8Of(char32_t character);

// Decodes Shift_JIS characters: CP932 from kvzdeck's table, the plain
// Shift_JIS mapping with the system's iconv.
class ShiftJisDecoder {
public:
    ShiftJisDecoder();

    // The character under the CP932 mapping, then under the plain Shift_JIS
    // mapping where that differs; empty where neither maps the bytes.
    std::vector<char32_t> candidates(std::array<unsigned char, 2> bytes);

private:
    cp932gen::IconvHandle shiftJis_;
};

}  // namespace fontgen
