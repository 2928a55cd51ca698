#include "deck/utf8.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace kvz {

std::optional<Utf8Character> decodeUtf8(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t first = byte(0);
    if (first < 0x80) return Utf8Character{first, 1};
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if ((first & 0xE0) == 0xC0) {
        length = 2, codePoint = first & 0x1F, minimum = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3, codePoint = first & 0x0F, minimum = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4, codePoint = first & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return std::nullopt;
    }
    return Utf8Character{codePoint, length};
}

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

namespace {

bool isControl(char32_t codePoint) {
    return (codePoint < 0x20 && codePoint != '\t') || (codePoint >= 0x7F && codePoint < 0xA0);
}

void appendHexBytes(std::string& out, std::string_view bytes) {
    for (const char byte : bytes) {
        std::array<char, 8> hex{};
        std::snprintf(hex.data(), hex.size(), "\\x%02X", static_cast<unsigned>(static_cast<std::uint8_t>(byte)));
        out += hex.data();
    }
}

}  // namespace

std::string inputExcerpt(std::string_view text, std::size_t characters) {
    std::string excerpt;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++shown) {
        if (shown == characters) return excerpt + "...";
        const std::optional<Utf8Character> character = decodeUtf8(text.substr(i));
        const std::size_t length = character ? character->length : 1;
        if (!character || isControl(character->codePoint)) {
            appendHexBytes(excerpt, text.substr(i, length));
        } else {
            excerpt.append(text.substr(i, length));
        }
        i += length;
    }
    return excerpt;
}

}  // namespace kvz
