// Plain facts of the device image's layout, shared by the encoder and the
// decoder. Each side keeps its own logic; only these numbers are common.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvz {

// The device's load address of image byte 0, and how many bytes fit above it.
inline constexpr std::uint32_t kLoadAddress = 0x05D0;
inline constexpr std::uint32_t kImageCapacity = 0x10000 - kLoadAddress;  // 64048

// The image starts with a header: two zero bytes, then the glyph area's
// address, low byte first. The packed stream follows it.
inline constexpr std::size_t kImageHeaderSize = 4;

// The longest phrase line the format allows, in codes; the phrase search
// starts from phrases this long.
inline constexpr std::size_t kLongestPhrase = 116;

// Packed areas hold eight 7-bit values in every seven bytes: byte k of a
// group holds bit 6 - k of the group's values, value j in bit j. A short
// last group is padded with zero values.
inline constexpr std::size_t kPackedGroupValues = 8;
inline constexpr std::size_t kPackedGroupBytes = 7;

// The bytes that `values` 7-bit values take once packed.
constexpr std::uint64_t packedSize(std::uint64_t values) {
    return (values + kPackedGroupValues - 1) / kPackedGroupValues * kPackedGroupBytes;
}

}  // namespace kvz
