#include "system_cp932.h"

#include <stdexcept>

namespace cp932gen {
namespace {

// UTF-32LE never carries a byte order mark, so every four bytes are one
// character both ways.
constexpr const char* kUnicode = "UTF-32LE";

std::string utf32le(char32_t codePoint) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((codePoint >> shift) & 0xFF);
    return bytes;
}

std::u32string fromUtf32le(std::string_view bytes) {
    std::u32string text;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        char32_t codePoint = 0;
        for (std::size_t b = 0; b < 4; ++b) {
            codePoint |= static_cast<char32_t>(static_cast<unsigned char>(bytes[i + b])) << (8 * b);
        }
        text += codePoint;
    }
    return text;
}

}  // namespace

IconvHandle::IconvHandle(const char* to, const char* from) : cd_(::iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to + " here");
    }
}

IconvHandle::~IconvHandle() { ::iconv_close(cd_); }

std::optional<std::string> IconvHandle::convert(std::string_view input) {
    std::string in(input);
    std::string out(input.size() * 4 + 8, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

SystemCp932::SystemCp932() : toUnicode_(kUnicode, "CP932"), fromUnicode_("CP932", kUnicode) {}

std::optional<std::u32string> SystemCp932::decode(std::string_view cp932) {
    const std::optional<std::string> bytes = toUnicode_.convert(cp932);
    if (!bytes) return std::nullopt;
    return fromUtf32le(*bytes);
}

std::optional<std::string> SystemCp932::encode(char32_t codePoint) {
    return fromUnicode_.convert(utf32le(codePoint));
}

}  // namespace cp932gen
