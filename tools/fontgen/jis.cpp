#include "jis.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "deck/cp932.h"

namespace fontgen {
namespace {

std::optional<char32_t> decodeShiftJis(cp932gen::IconvHandle& shiftJis, std::string_view code) {
    const std::optional<std::string> utf32le = shiftJis.convert(code);
    if (!utf32le || utf32le->size() != 4) return std::nullopt;
    char32_t c = 0;
    for (std::size_t b = 0; b < 4; ++b) {
        c |= static_cast<char32_t>(static_cast<unsigned char>((*utf32le)[b])) << (8 * b);
    }
    return c;
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

ShiftJisDecoder::ShiftJisDecoder() : shiftJis_("UTF-32LE", "SHIFT_JIS") {}

std::vector<char32_t> ShiftJisDecoder::candidates(std::array<unsigned char, 2> bytes) {
    const std::string code{static_cast<char>(bytes[0]), static_cast<char>(bytes[1])};
    std::vector<char32_t> result;
    for (const std::optional<char32_t> c : {kvz::cp932ToUnicode(code), decodeShiftJis(shiftJis_, code)}) {
        if (c && std::find(result.begin(), result.end(), *c) == result.end()) {
            result.push_back(*c);
        }
    }
    return result;
}

}  // namespace fontgen
