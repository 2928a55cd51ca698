#include "kvzdeck/cp932.h"

#include <algorithm>
#include <cstdint>

#include "kvzdeck/cp932_table.h"

namespace kvz {
namespace {

using cp932::CodePair;

std::optional<CodePair> find(std::span<const CodePair> table, auto key, auto CodePair::*field) {
    const auto found =
        std::lower_bound(table.begin(), table.end(), key,
                         [field](const CodePair& pair, auto wanted) { return pair.*field < wanted; });
    if (found == table.end() || (*found).*field != key) return std::nullopt;
    return *found;
}

}  // namespace

std::optional<char32_t> cp932ToUnicode(std::string_view code) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(code[i]); };
    std::uint16_t value = 0;
    if (code.size() == 1) {
        value = byte(0);
    } else if (code.size() == 2 && byte(0) != 0) {  // 0x00 is a character of its own
        value = static_cast<std::uint16_t>(byte(0) << 8 | byte(1));
    } else {
        return std::nullopt;
    }
    const std::optional<CodePair> pair = find(cp932::kDecoding, value, &CodePair::code);
    if (!pair) return std::nullopt;
    return pair->unicode;
}

std::optional<std::string> unicodeToCp932(char32_t codePoint) {
    for (const cp932::CharacterRange& range : cp932::kEncodedAsNothing) {
        if (codePoint >= range.first && codePoint <= range.last) return std::string();
    }
    if (codePoint > 0xFFFF) return std::nullopt;
    const std::optional<CodePair> pair = find(cp932::kEncoding, static_cast<char16_t>(codePoint), &CodePair::unicode);
    if (!pair) return std::nullopt;
    std::string bytes;
    if (pair->code > 0xFF) bytes += static_cast<char>(pair->code >> 8);
    bytes += static_cast<char>(pair->code & 0xFF);
    return bytes;
}

}  // namespace kvz
