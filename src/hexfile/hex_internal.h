// The digit and record helpers behind the Intel HEX writer and reader. Not
// part of the module's interface: only the module's sources and its tests
// use them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kvz::detail {

inline constexpr std::string_view int_to_ascii = "0123456789ABCDEF";

// Longest record the writer puts out, and the room one read of the lenient
// reading has: a record and its line end must fit into maxLineLength
// characters.
inline constexpr std::size_t recordBytes = 16;
inline constexpr std::size_t maxLineLength = 255;

inline constexpr std::string_view endOfFileRecord = ":00000001FF";
inline constexpr std::string_view lineEnd = "\r\n";

// Appends the two upper-case hex digits of `value`, high nibble first.
inline void int2c(std::string& out, std::uint8_t value) {
    out += int_to_ascii[value >> 4];
    out += int_to_ascii[value & 0x0F];
}

// Appends one record line ended by CR LF: a data record holding `bytes`
// (at most 255 of them) whose first byte has `address` (low 16 bits shown),
// or the end-of-file record when `bytes` is empty.
void bin2hex(std::string& out, std::span<const std::uint8_t> bytes, std::uint32_t address);

// The value of one hex digit of either case, -16 for any other character.
inline int h2i(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -16;
}

// The byte written as two hex digits at line[position] and line[position + 1],
// or -1 when either is not a hex digit or lies beyond the line.
inline int hex2i(std::string_view line, std::size_t position) {
    if (position >= line.size() || line.size() - position < 2) return -1;
    const int high = h2i(line[position]);
    const int low = h2i(line[position + 1]);
    if (high < 0 || low < 0) return -1;
    return high * 16 + low;
}

}  // namespace kvz::detail
