// Seven-bit packing and the image the device loads.
#include <algorithm>
#include <string>

#include "common/layout.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

// The image buffer the device format allows, whatever the load address.
constexpr std::uint64_t kLargestImage = 65535;

// Bytes that fit from the load address up to 0xFFFF.
std::uint64_t capacityFrom(std::uint32_t loadAddress) {
    if (loadAddress >= 0x10000) {
        return 0;
    }
    return std::min<std::uint64_t>(0x10000 - loadAddress, kLargestImage);
}

// Byte k of a group holds bit 6 - k of the eight values, value j in bit j.
void appendGroup(std::vector<std::uint8_t>& destination,
                 const std::array<std::uint8_t, kPackedGroupValues>& values) {
    for (std::size_t k = 0; k < kPackedGroupBytes; ++k) {
        const unsigned bit = static_cast<unsigned>(6 - k);
        std::uint8_t byte = 0;
        for (std::size_t j = 0; j < kPackedGroupValues; ++j) {
            byte = static_cast<std::uint8_t>(byte | ((values[j] >> bit) & 1u) << j);
        }
        destination.push_back(byte);
    }
}

std::vector<std::uint8_t> cellStrip(const CharTable& table) {
    std::vector<std::uint8_t> strip;
    strip.reserve(table.size() * kCellWidth);
    for (const CharEntry& entry : table) {
        const GlyphCell cell = selectGlyph(entry.code);
        strip.insert(strip.end(), cell.begin(), cell.end());
    }
    return strip;
}

}  // namespace

std::uint64_t imageSizeFor(std::uint64_t streamValues, std::uint64_t characters) {
    return kImageHeaderSize + packedSize(streamValues) + packedSize(characters * kCellWidth);
}

std::size_t write7(std::vector<std::uint8_t>& destination, std::span<const std::uint8_t> values) {
    const std::size_t written = packedSize(values.size());
    destination.reserve(destination.size() + written);
    for (std::size_t i = 0; i < values.size(); i += kPackedGroupValues) {
        std::array<std::uint8_t, kPackedGroupValues> group{};  // a short last group is padded with 0
        const std::size_t n = std::min(kPackedGroupValues, values.size() - i);
        std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(i), n, group.begin());
        appendGroup(destination, group);
    }
    return written;
}

Result<std::vector<std::uint8_t>> encode7(std::uint32_t loadAddress, const CharTable& table,
                                          std::span<const std::uint8_t> stream) {
    const std::uint64_t streamBytes = packedSize(stream.size());
    const std::uint64_t imageSize = imageSizeFor(stream.size(), table.size());
    const std::uint64_t capacity = capacityFrom(loadAddress);
    if (imageSize > capacity) {
        return fail("image of " + std::to_string(imageSize) + " bytes exceeds the device's " +
                    std::to_string(capacity) + " bytes");
    }
    std::vector<std::uint8_t> image;
    image.reserve(imageSize);
    const std::uint64_t glyphAddress = loadAddress + kImageHeaderSize + streamBytes;
    image.push_back(0);
    image.push_back(0);
    image.push_back(static_cast<std::uint8_t>(glyphAddress & 0xFF));
    image.push_back(static_cast<std::uint8_t>(glyphAddress >> 8 & 0xFF));
    write7(image, stream);
    write7(image, cellStrip(table));
    return image;
}

}  // namespace kvz
