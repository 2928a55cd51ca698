// The replacement table that gives every character with several forms its
// one canonical full-width Shift_JIS form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kvz {

// key: one Shift_JIS character (1 or 2 bytes); replacement: 1 or 2
// full-width characters (2 or 4 bytes).
struct ReplacementRow {
    std::string_view key;
    std::string_view replacement;
};

inline constexpr std::size_t kReplacementRowCount = 184;

// The rows in table order.
std::span<const ReplacementRow> replacementTable();

// The row whose key is the character starting with `first` (`second` is its
// trail byte and only looked at when `first` is a lead byte), or nullptr.
// Gives the same row as a search of the table in order.
const ReplacementRow* findReplacement(std::uint8_t first, std::uint8_t second);

}  // namespace kvz
