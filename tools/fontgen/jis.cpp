#include "jis.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace fontgen {
namespace {

iconv_t openToUtf32(const char* from) {
    iconv_t handle = iconv_open("UTF-32LE", from);
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert from ") + from);
    }
    return handle;
}

std::optional<char32_t> decodeOne(iconv_t handle, std::array<unsigned char, 2> bytes) {
    iconv(handle, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
    char input[2] = {static_cast<char>(bytes[0]), static_cast<char>(bytes[1])};
    unsigned char output[8] = {};
    char* in = input;
    char* out = reinterpret_cast<char*>(output);
    std::size_t inLeft = sizeof input;
    std::size_t outLeft = sizeof output;
    if (iconv(handle, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0 || sizeof output - outLeft != 4) {
        return std::nullopt;
    }
    return static_cast<char32_t>(output[0] | output[1] << 8 | output[2] << 16 | output[3] << 24);
}

}  // namespace

std::array<unsigned char, 2> shiftJisOf(int row, int column) {
    const int lead = (row - 1) / 2 + (row <= 62 ? 0x81 : 0xC1);
    int trail = 0;
    if (row % 2 == 1) {
        trail = column + 0x3F + (column >= 64 ? 1 : 0);  // 0x7F is skipped
    } else {
        trail = column + 0x9E;
    }
    return {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
}

std::string utf8Of(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | c >> 6);
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | c >> 12);
        s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | c >> 18);
        s += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

ShiftJisDecoder::ShiftJisDecoder() : cp932_(openToUtf32("CP932")), shiftJis_(nullptr) {
    try {
        shiftJis_ = openToUtf32("SHIFT_JIS");
    } catch (...) {
        iconv_close(cp932_);
        throw;
    }
}

ShiftJisDecoder::~ShiftJisDecoder() {
    iconv_close(shiftJis_);
    iconv_close(cp932_);
}

std::vector<char32_t> ShiftJisDecoder::candidates(std::array<unsigned char, 2> bytes) {
    std::vector<char32_t> result;
    for (iconv_t handle : {cp932_, shiftJis_}) {
        const std::optional<char32_t> c = decodeOne(handle, bytes);
        if (c && std::find(result.begin(), result.end(), *c) == result.end()) {
            result.push_back(*c);
        }
    }
    return result;
}

}  // namespace fontgen
