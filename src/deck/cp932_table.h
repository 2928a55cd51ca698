// The data of cp932_table.cpp, which tools/cp932gen writes from the system's
// iconv: CP932 <-> Unicode, one code or one character at a time, in tables
// indexed directly by code and by character.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kvz::cp932 {

// Marks a code without a character (0xFFFF is not a character).
constexpr char16_t kNoCharacter = 0xFFFF;
// Marks a character without a code (0xFF is no lead byte).
constexpr std::uint16_t kNoCode = 0xFFFF;

// Two-byte codes: lead bytes 0x81-0x9F and 0xE0-0xFC, trail bytes 0x40-0xFC.
constexpr std::size_t kLeadBytes = 60;
constexpr std::uint8_t kFirstTrail = 0x40;
constexpr std::uint8_t kLastTrail = 0xFC;
constexpr std::size_t kTrailBytes = kLastTrail - kFirstTrail + 1;

// The row of a lead byte in kTwoByteCharacters, or -1 for any other byte.
constexpr int leadRow(std::uint8_t lead) {
    if (lead >= 0x81 && lead <= 0x9F) return lead - 0x81;
    if (lead >= 0xE0 && lead <= 0xFC) return lead - 0xE0 + (0x9F - 0x81 + 1);
    return -1;
}

// The character of each one-byte code, or kNoCharacter.
extern const std::array<char16_t, 256> kOneByteCharacters;
// The character of each two-byte code, row by lead byte, then by trail byte
// from kFirstTrail; kNoCharacter where iconv gives no single character.
extern const std::array<char16_t, kLeadBytes * kTrailBytes> kTwoByteCharacters;

// Unicode -> CP932 by blocks of 256 characters: kEncodingPageOfBlock[c >> 8]
// is the page in kEncodingPages that holds the code of c (below 0x100 a
// one-byte code, else lead and trail byte) at c & 0xFF, or kNoPage when no
// character of the block has a code. Characters beyond U+FFFF have none.
constexpr std::uint8_t kNoPage = 0xFF;
using EncodingPage = std::array<std::uint16_t, 256>;
extern const std::array<std::uint8_t, 256> kEncodingPageOfBlock;
extern const std::span<const EncodingPage> kEncodingPages;

// Unicode characters first to last (both included).
struct CharacterRange {
    char32_t first;
    char32_t last;
};
// The characters that iconv accepts and writes no bytes for, in order.
extern const std::span<const CharacterRange> kEncodedAsNothing;

}  // namespace kvz::cp932
