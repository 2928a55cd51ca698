// Characters written as a base and combining marks (か followed by U+3099,
// the combining voiced sound mark, as macOS file names and some input
// methods write が) composed into the one character that Shift_JIS holds.
#pragma once

#include <string>
#include <string_view>

namespace kvz {

// `utf8` with every run of a character and the characters that combine
// with it (combining marks, the sound marks U+3099 and U+309A, Hangul
// vowels and finals) normalised as NFC normalises it: "か\u3099" gives
// "が", "e\u0301" gives "é". A character with nothing combining after it is
// kept as written, also where NFC alone would replace it (compatibility
// ideographs such as U+F929, which CP932 holds as a code of its own).
// Bytes that are no UTF-8 pass unchanged. Linear in the text, apart from
// sorting the marks of one run by their combining class.
std::string composeCombiningMarks(std::string_view utf8);

}  // namespace kvz
