#include "deck/cp932.h"

#include <cstdint>

#include "deck/cp932_table.h"

namespace kvz {
namespace {

std::optional<char32_t> character(char16_t unicode) {
    if (unicode == cp932::kNoCharacter) return std::nullopt;
    return unicode;
}

std::optional<char32_t> twoByteCharacter(std::uint8_t lead, std::uint8_t trail) {
    const int row = cp932::leadRow(lead);
    if (row < 0 || trail < cp932::kFirstTrail || trail > cp932::kLastTrail) return std::nullopt;
    return character(
        cp932::kTwoByteCharacters[static_cast<std::size_t>(row) * cp932::kTrailBytes + (trail - cp932::kFirstTrail)]);
}

bool isEncodedAsNothing(char32_t codePoint) {
    for (const cp932::CharacterRange& range : cp932::kEncodedAsNothing) {
        if (codePoint >= range.first && codePoint <= range.last) return true;
    }
    return false;
}

}  // namespace

std::optional<char32_t> cp932ToUnicode(std::string_view code) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(code[i]); };
    if (code.size() == 1) return character(cp932::kOneByteCharacters[byte(0)]);
    if (code.size() == 2) return twoByteCharacter(byte(0), byte(1));
    return std::nullopt;
}

std::optional<std::string> unicodeToCp932(char32_t codePoint) {
    if (isEncodedAsNothing(codePoint)) return std::string();
    if (codePoint > 0xFFFF) return std::nullopt;
    const std::uint8_t page = cp932::kEncodingPageOfBlock[codePoint >> 8];
    if (page == cp932::kNoPage) return std::nullopt;
    const std::uint16_t code = cp932::kEncodingPages[page][codePoint & 0xFF];
    if (code == cp932::kNoCode) return std::nullopt;
    std::string bytes;
    if (code > 0xFF) bytes += static_cast<char>(code >> 8);
    bytes += static_cast<char>(code & 0xFF);
    return bytes;
}

}  // namespace kvz
