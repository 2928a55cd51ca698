// UTF-8, one character at a time.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvz {

struct Utf8Character {
    char32_t codePoint;
    std::size_t length;  // in bytes, 1 to 4
};

// The UTF-8 character at the start of `text`, or nothing when it is not well
// formed (empty text, overlong forms, surrogates and values beyond U+10FFFF
// included).
std::optional<Utf8Character> decodeUtf8(std::string_view text);

// Appends the UTF-8 form of a Unicode scalar value.
void appendUtf8(std::string& out, char32_t codePoint);

// The most characters of input that a message quotes.
inline constexpr std::size_t kExcerptCharacters = 60;

// Input as a message quotes it, on one line and of bounded size: its first
// `characters` characters, cut at a character boundary and followed by
// "..." when there is more. A control character (C0, DEL, C1) shows as the
// \xHH of its bytes, and so does a byte that is no UTF-8, so that no line
// break, zero byte or terminal control reaches a message; a tab is kept.
std::string inputExcerpt(std::string_view text, std::size_t characters = kExcerptCharacters);

}  // namespace kvz
