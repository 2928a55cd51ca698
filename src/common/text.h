// Small pieces of message text used across modules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

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

}  // namespace kvz
