// Small pieces of text used across modules: message wording, hex figures,
// names compared, texts split into pieces and lines.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

// "1 entry", "2 entries": the count and the form that goes with it.
inline std::string plural(std::size_t count, const char* singular, const char* pluralForm) {
    return std::to_string(count) + " " + (count == 1 ? singular : pluralForm);
}

// At least four upper-case hex digits, without a prefix: "05D0".
inline std::string hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

// "05D0-05FF": the addresses of `bytes` bytes from `first` on; "none" for
// no bytes.
inline std::string formatAddressRange(std::uint32_t first, std::size_t bytes) {
    if (bytes == 0) return "none";
    return hex4(first) + "-" + hex4(static_cast<std::uint32_t>(first + bytes - 1));
}

// `text` without the ASCII white space at its ends, in ASCII lower case: how
// names given on a command line or in a file's header are compared.
inline std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    std::string lower;
    for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The pieces of `text` between its `separator`s, in order: a text with n
// separators has n + 1 pieces (an empty text, one empty piece).
inline std::vector<std::string_view> splitAt(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    while (true) {
        const std::size_t end = text.find(separator);
        pieces.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return pieces;
        text.remove_prefix(end + 1);
    }
}

// The lines of `text` that a "\n" closes, without it; what follows the last
// one (a line cut short, or nothing) is left out.
inline std::vector<std::string_view> closedLines(std::string_view text) {
    std::vector<std::string_view> lines = splitAt(text, '\n');
    lines.pop_back();
    return lines;
}

}  // namespace kvz
