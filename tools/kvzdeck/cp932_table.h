// The data of cp932_table.cpp, which tools/cp932gen writes from the system's
// iconv: CP932 <-> Unicode, one code or one character at a time.
#pragma once

#include <cstdint>
#include <span>

namespace kvz::cp932 {

// A CP932 code and a Unicode character. A code below 0x100 is a one-byte
// code; any other is a lead byte (high) and a trail byte (low).
struct CodePair {
    std::uint16_t code;
    char16_t unicode;
};

// Unicode characters first to last (both included).
struct CharacterRange {
    char32_t first;
    char32_t last;
};

// Every code that iconv decodes to exactly one character, by code.
extern const std::span<const CodePair> kDecoding;
// Every character that iconv encodes to one or two bytes, by character.
extern const std::span<const CodePair> kEncoding;
// The characters that iconv accepts and writes no bytes for, in order.
extern const std::span<const CharacterRange> kEncodedAsNothing;

}  // namespace kvz::cp932
