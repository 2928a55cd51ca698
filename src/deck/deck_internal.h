// What the build and the dump of a deck share: how a Unicode character is
// stored, and the \xHH form of raw bytes. Private to the deck module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvz::deck_internal {

// A text's Shift_JIS (CP932) bytes.
using Bytes = std::string;

// "5C": a byte in two upper-case hex digits.
std::string hexByte(std::uint8_t byte);

// The Shift_JIS bytes that a Unicode character is stored as, or nothing:
// ASCII as it is, the usual variants of CP932's characters as those.
std::optional<Bytes> encodeCharacter(char32_t codePoint);

// What the device shows for a character it has no glyph for.
inline constexpr std::string_view kEmptyCellShown = "the device shows an empty cell for it";

// Appends every byte as \xHH.
void appendRawBytes(std::string& out, std::string_view bytes);

}  // namespace kvz::deck_internal
