#include "common/text.h"
#include "deck/text_encoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "deck/cp932.h"
#include "deck/utf8.h"
#include "input/kvz.h"

namespace kvz {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16leBom = "\xFF\xFE";
constexpr std::string_view kUtf16beBom = "\xFE\xFF";

std::string hexBytes(std::string_view bytes) {
    std::string text;
    for (const char byte : bytes) {
        std::array<char, 8> hex{};
        std::snprintf(hex.data(), hex.size(), "0x%02X", static_cast<unsigned>(static_cast<std::uint8_t>(byte)));
        if (!text.empty()) text += ' ';
        text += hex.data();
    }
    return text;
}

// Counts lines as the readers end them: LF, CR LF or CR alone.
class LineCounter {
public:
    void see(char32_t character) {
        if (character == '\n' && !afterCr_) ++line_;
        if (character == '\r') ++line_;
        afterCr_ = character == '\r';
    }
    std::size_t line() const { return line_; }

private:
    std::size_t line_ = 1;
    bool afterCr_ = false;
};

std::size_t lineAt(std::string_view text, std::size_t offset) {
    LineCounter lines;
    for (std::size_t i = 0; i < offset; ++i) lines.see(static_cast<unsigned char>(text[i]));
    return lines.line();
}

std::string notReadable(std::string_view bytes, std::size_t line, TextEncoding encoding) {
    return std::to_string(line) + ": " + (bytes.size() == 1 ? "byte " : "bytes ") + hexBytes(bytes) +
           (bytes.size() == 1 ? " is" : " are") + " not " + std::string(encodingName(encoding)) +
           "; save the file as UTF-8, or give the encoding it was saved in with --encoding "
           "(utf-8, utf-16le, utf-16be, cp932)";
}

// The length of the CP932 character at the start of `bytes`, or 0.
std::size_t cp932Length(std::string_view bytes, char32_t& character) {
    const auto first = static_cast<std::uint8_t>(bytes.front());
    const std::size_t length = isKanji(first) && bytes.size() > 1 ? 2 : 1;
    const std::optional<char32_t> decoded = cp932ToUnicode(bytes.substr(0, length));
    if (!decoded) return 0;
    character = *decoded;
    return length;
}

Result<std::string> decodeCp932(std::string_view bytes) {
    std::string utf8;
    utf8.reserve(bytes.size() * 3 / 2);
    LineCounter lines;
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t character = 0;
        const std::size_t length = cp932Length(bytes.substr(i), character);
        if (length == 0) {
            const bool pair = isKanji(static_cast<std::uint8_t>(bytes[i])) && i + 1 < bytes.size();
            return fail(notReadable(bytes.substr(i, pair ? 2 : 1), lines.line(), TextEncoding::cp932));
        }
        lines.see(character);
        appendUtf8(utf8, character);
        i += length;
    }
    return utf8;
}

Result<std::string> decodeUtf16(std::string_view bytes, bool bigEndian) {
    const TextEncoding encoding = bigEndian ? TextEncoding::utf16be : TextEncoding::utf16le;
    const auto unitAt = [&](std::size_t i) {
        const auto a = static_cast<std::uint8_t>(bytes[i]), b = static_cast<std::uint8_t>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    };
    std::string utf8;
    utf8.reserve(bytes.size() * 3 / 2);
    LineCounter lines;
    for (std::size_t i = 0; i < bytes.size();) {
        if (i + 1 == bytes.size())
            return fail(notReadable(bytes.substr(i), lines.line(), encoding) + " (an odd byte at the end)");
        char32_t unit = unitAt(i);
        std::size_t length = 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                length = 4;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) return fail(notReadable(bytes.substr(i, 2), lines.line(), encoding));
        lines.see(unit);
        appendUtf8(utf8, unit);
        i += length;
    }
    return utf8;
}

std::optional<std::size_t> firstInvalidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<std::uint8_t>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::optional<Utf8Character> character = decodeUtf8(text.substr(i));
        if (!character) return i;
        i += character->length;
    }
    return std::nullopt;
}

bool isValidCp932(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t character = 0;
        const std::size_t length = cp932Length(bytes.substr(i), character);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// UTF-16 without a byte order mark: zero bytes, as the high byte of every
// ASCII character, and only at odd positions (little-endian) or only at
// even ones (big-endian), in the first part of an even number of bytes.
// A line end's byte (LF or CR) is never a high byte there either (that
// would be a character of U+0A00-U+0AFF or U+0D00-U+0DFF, Indic letters no
// deck holds): so a UTF-8 text of several lines with a stray zero byte is
// not read as UTF-16 because the zero fell on one side.
std::optional<TextEncoding> utf16WithoutMark(std::string_view bytes) {
    constexpr std::size_t kBytesLooked = 64 * 1024;
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::size_t zeros[2] = {0, 0};
    std::size_t lineEnds[2] = {0, 0};
    for (std::size_t i = 0; i < bytes.size() && i < kBytesLooked; ++i) {
        if (bytes[i] == '\0') ++zeros[i % 2];
        if (bytes[i] == '\n' || bytes[i] == '\r') ++lineEnds[i % 2];
    }
    if (zeros[1] > 0 && zeros[0] == 0 && lineEnds[1] == 0) return TextEncoding::utf16le;
    if (zeros[0] > 0 && zeros[1] == 0 && lineEnds[0] == 0) return TextEncoding::utf16be;
    return std::nullopt;
}

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool isValidUtf8(std::string_view text) { return !firstInvalidUtf8(text); }

std::string_view encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::utf8: return "UTF-8";
        case TextEncoding::utf8WithBom: return "UTF-8 with a byte order mark";
        case TextEncoding::utf16le: return "UTF-16LE";
        case TextEncoding::utf16be: return "UTF-16BE";
        case TextEncoding::cp932: return "CP932 (Shift_JIS)";
    }
    return "UTF-8";
}

std::optional<TextEncoding> parseEncodingName(std::string_view name) {
    const std::string lower = lowerTrimmed(name);
    if (lower == "utf-8" || lower == "utf8") return TextEncoding::utf8;
    if (lower == "utf-16le") return TextEncoding::utf16le;
    if (lower == "utf-16be") return TextEncoding::utf16be;
    if (lower == "cp932" || lower == "shift_jis" || lower == "sjis") return TextEncoding::cp932;
    return std::nullopt;
}


TextEncoding detectEncoding(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) return TextEncoding::utf8WithBom;
    if (bytes.starts_with(kUtf16leBom)) return TextEncoding::utf16le;
    if (bytes.starts_with(kUtf16beBom)) return TextEncoding::utf16be;
    if (const std::optional<TextEncoding> utf16 = utf16WithoutMark(bytes)) return *utf16;
    if (isValidUtf8(bytes) || !isValidCp932(bytes)) return TextEncoding::utf8;
    return TextEncoding::cp932;
}

bool readableAsUtf8AndCp932(std::string_view bytes) {
    return !isAscii(bytes) && isValidUtf8(bytes) && isValidCp932(bytes);
}

Result<DecodedText> decodeText(std::string_view bytes, std::optional<TextEncoding> given) {
    const TextEncoding encoding = given.value_or(detectEncoding(bytes));
    switch (encoding) {
        case TextEncoding::utf8:
        case TextEncoding::utf8WithBom: {
            const bool bom = bytes.starts_with(kUtf8Bom);
            if (bom) bytes.remove_prefix(kUtf8Bom.size());
            if (given) {
                if (const std::optional<std::size_t> bad = firstInvalidUtf8(bytes)) {
                    return fail(notReadable(bytes.substr(*bad, 1), lineAt(bytes, *bad), TextEncoding::utf8));
                }
            }
            return DecodedText{std::string(bytes), bom ? TextEncoding::utf8WithBom : TextEncoding::utf8};
        }
        case TextEncoding::utf16le:
        case TextEncoding::utf16be: {
            const bool bigEndian = encoding == TextEncoding::utf16be;
            if (bytes.starts_with(bigEndian ? kUtf16beBom : kUtf16leBom)) bytes.remove_prefix(2);
            Result<std::string> utf8 = decodeUtf16(bytes, bigEndian);
            KVZ_TRY(utf8);
            return DecodedText{std::move(*utf8), encoding};
        }
        case TextEncoding::cp932: {
            Result<std::string> utf8 = decodeCp932(bytes);
            KVZ_TRY(utf8);
            return DecodedText{std::move(*utf8), encoding};
        }
    }
    return fail("unknown encoding");
}

}  // namespace kvz
