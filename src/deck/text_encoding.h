// The encodings that spreadsheets and flashcard programs save tables in, and
// the detection of which one a file is in. Every text comes out as UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace kvz {

enum class TextEncoding { utf8, utf8WithBom, utf16le, utf16be, cp932 };

// "UTF-8", "UTF-8 with a byte order mark", "UTF-16LE", "UTF-16BE",
// "CP932 (Shift_JIS)": as -v and the messages name them.
std::string_view encodingName(TextEncoding encoding);

// The encoding that --encoding names: utf-8 (utf8), utf-16le, utf-16be,
// cp932 (shift_jis, sjis), in any case. Nothing for another name.
std::optional<TextEncoding> parseEncodingName(std::string_view name);

// The encoding a file is in: a byte order mark says UTF-8, UTF-16LE or
// UTF-16BE; zero bytes only at odd positions (or only at even ones) of an
// even number of bytes say UTF-16LE (or UTF-16BE) without the mark; else
// valid UTF-8 is UTF-8; else valid CP932 is CP932; else UTF-8 (whose
// invalid bytes the reader then names).
TextEncoding detectEncoding(std::string_view bytes);

// Whether the bytes, not all ASCII, read as UTF-8 and as CP932 alike: where
// detectEncoding's UTF-8 was a guess between two readable encodings.
bool readableAsUtf8AndCp932(std::string_view bytes);

struct DecodedText {
    std::string utf8;  // without the byte order mark
    TextEncoding encoding;
};

// The text of `bytes` as UTF-8, in `encoding` (detected when not given).
// A byte order mark of that encoding at the start is dropped. Refuses bytes
// that the encoding cannot read, naming the line and the byte(s), and what
// to do: "3: bytes 0x82 0x20 are not CP932 (Shift_JIS); ...". Bytes that
// are not UTF-8 pass unchanged when the encoding was detected, not given,
// as UTF-8, so that a reader that checks UTF-8 itself names their field.
Result<DecodedText> decodeText(std::string_view bytes, std::optional<TextEncoding> encoding);

// Whether `text` is well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view text);

}  // namespace kvz
