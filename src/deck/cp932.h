// CP932 (Shift_JIS with the NEC special characters and the NEC and IBM
// extension kanji) <-> Unicode, one code or one character at a time, exactly
// as the system's iconv converted them when tools/cp932gen wrote the table.
// No iconv is needed at run time, so every build (the browser's too) gives
// the same bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvz {

// The character that one CP932 code stands for: `code` holds one byte, or a
// lead byte and its trail byte. Nothing for a lone lead byte, an unassigned
// code or a lead byte with a byte that cannot follow it, and for two bytes
// that are two characters. Half-width katakana 0xA1-0xDF give U+FF61-U+FF9F;
// the user-defined codes 0xF040-0xF9FC give U+E000-U+E757. Of the codes that
// CP932 gives the same character, each decodes to it.
std::optional<char32_t> cp932ToUnicode(std::string_view code);

// The CP932 bytes of one Unicode character: one or two bytes, or no bytes at
// all for the tag characters U+E0000-U+E007F, which iconv drops. Nothing when
// CP932 has no form for it. Where several codes give the character, the one
// that iconv chooses (Ⅰ 0x8754, not 0xFA4A; ⅰ 0xFA40, not 0xEEEF; 髙 0xFBFC,
// not 0xEEE0). Like iconv, it writes U+00A5 YEN SIGN as 0x5C and U+203E
// OVERLINE as 0x7E, and U+00A2, U+00A3, U+00AC, U+2014, U+2016, U+2212 and
// U+301C as the full-width forms that decode to other characters.
std::optional<std::string> unicodeToCp932(char32_t codePoint);

}  // namespace kvz
