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

}  // namespace kvz
