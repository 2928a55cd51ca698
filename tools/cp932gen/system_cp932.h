// CP932 as the system's iconv converts it, one code or one character at a
// time. The table generator reads it once; the tests compare the committed
// table with it.
#pragma once

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

namespace cp932gen {

// One iconv conversion descriptor, closed when it goes.
class IconvHandle {
public:
    // Throws std::runtime_error when iconv cannot convert `from` to `to`.
    IconvHandle(const char* to, const char* from);
    ~IconvHandle();
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    // The whole of `input` converted from the start state, or nothing when
    // iconv refuses any of it (invalid or incomplete input, no mapping).
    std::optional<std::string> convert(std::string_view input);

private:
    iconv_t cd_;
};

class SystemCp932 {
public:
    SystemCp932();

    // The characters that the bytes `cp932` decode to, or nothing.
    std::optional<std::u32string> decode(std::string_view cp932);
    // The CP932 bytes of one Unicode scalar value, or nothing.
    std::optional<std::string> encode(char32_t codePoint);

private:
    IconvHandle toUnicode_;
    IconvHandle fromUnicode_;
};

}  // namespace cp932gen
