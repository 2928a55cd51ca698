// How the deck's texts store Unicode characters: CP932 (Shift_JIS with the
// NEC and IBM extensions; 0x5C stays a backslash, 0x7E a tilde), and how a
// stored character is named in messages.
#include "deck/deck.h"
#include "deck/deck_internal.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

#include "deck/cp932.h"
#include "deck/utf8.h"
#include "glyph/glyph.h"

namespace kvz {
namespace deck_internal {
namespace {

// Unicode characters that CP932 lacks but that UTF-8 texts often use for
// the same thing, and the yen sign and overline, which CP932 would turn into
// backslash and tilde.
struct Variant {
    char32_t codePoint;
    const char* sjis;
};
constexpr std::array<Variant, 10> kVariants{{
    {0x301C, "\x81\x60"},  // WAVE DASH -> FULLWIDTH TILDE
    {0x2016, "\x81\x61"},  // DOUBLE VERTICAL LINE -> PARALLEL TO
    {0x2212, "\x81\x7C"},  // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS
    {0x2014, "\x81\x5C"},  // EM DASH -> HORIZONTAL BAR
    {0x00A2, "\x81\x91"},  // CENT SIGN -> FULLWIDTH CENT SIGN
    {0x00A3, "\x81\x92"},  // POUND SIGN -> FULLWIDTH POUND SIGN
    {0x00AC, "\x81\xCA"},  // NOT SIGN -> FULLWIDTH NOT SIGN
    {0x00A5, "\x81\x8F"},  // YEN SIGN -> FULLWIDTH YEN SIGN
    {0x203E, "\x81\x50"},  // OVERLINE -> FULLWIDTH MACRON
    {0x00A6, "\xFA\x55"},  // BROKEN BAR -> FULLWIDTH BROKEN BAR
}};


}  // namespace

std::string hexByte(std::uint8_t byte) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%02X", byte);
    return text.data();
}

// The Shift_JIS bytes that a Unicode character is stored as, or nothing.
std::optional<Bytes> encodeCharacter(char32_t codePoint) {
    if (codePoint < 0x80) return Bytes(1, static_cast<char>(codePoint));
    for (const Variant& variant : kVariants) {
        if (variant.codePoint == codePoint) return Bytes(variant.sjis);
    }
    return unicodeToCp932(codePoint);
}

void appendRawBytes(std::string& out, std::string_view bytes) {
    for (char byte : bytes) out += "\\x" + hexByte(static_cast<std::uint8_t>(byte));
}

}  // namespace deck_internal

std::optional<std::string> shiftJisOf(char32_t codePoint) { return deck_internal::encodeCharacter(codePoint); }

std::string describeCharacterAndCode(CharCode code) {
    const bool oneByte = !isKanji(code[0]);
    const char bytes[] = {static_cast<char>(code[0]), static_cast<char>(code[1])};
    const std::optional<char32_t> character = cp932ToUnicode(std::string_view(bytes, oneByte ? 1 : 2));
    const bool userDefined = character && *character >= 0xE000 && *character <= 0xF8FF;
    if (!character || *character < 0x21 || (*character >= 0x7F && *character < 0xA0) || userDefined) return formatCharCode(code);
    std::string named;
    appendUtf8(named, *character);
    return named + " (" + formatCharCode(code) + ")";
}

std::string describeGlyphShownFor(CharCode code) {
    const std::optional<CharCode> owner = glyphOwnerOf(code);
    if (!owner) return std::string(deck_internal::kEmptyCellShown);
    std::string shown = "the device draws it with the glyph of " + formatCharCode(*owner);
    const char bytes[] = {static_cast<char>((*owner)[0]), static_cast<char>((*owner)[1])};
    if (const std::optional<char32_t> character = cp932ToUnicode(std::string_view(bytes, 2))) {
        shown += " '";
        appendUtf8(shown, *character);
        shown += "'";
    }
    return shown;
}

std::string readableStoredText(std::span<const std::uint8_t> text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && text[i] != 0;) {
        const bool twoBytes = isKanji(text[i]) && i + 1 < text.size() && text[i + 1] != 0;
        const CharCode code{text[i], twoBytes ? text[i + 1] : std::uint8_t{0}};
        const char bytes[] = {static_cast<char>(code[0]), static_cast<char>(code[1])};
        const std::optional<char32_t> character =
            isKanji(code[0]) && !twoBytes ? std::nullopt : cp932ToUnicode(std::string_view(bytes, twoBytes ? 2 : 1));
        const bool printable = character && *character >= 0x20 && !(*character >= 0x7F && *character < 0xA0) &&
                               !(*character >= 0xE000 && *character <= 0xF8FF);
        if (printable)
            appendUtf8(out, *character);
        else
            out.append("[").append(formatCharCode(code)).append("]");
        i += twoBytes ? 2 : 1;
    }
    return out;
}

}  // namespace kvz
