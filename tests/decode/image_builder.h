// Device images built by hand for the decoder tests, from the layout alone:
// values packed eight into seven bytes (byte k holds bit 6 - k of each
// value, value j in bit j), a 4-byte header, the stream, the glyph area.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "glyph/glyph.h"

namespace kvz::testing {

inline std::vector<std::uint8_t> pack7(std::span<const std::uint8_t> values) {
    std::vector<std::uint8_t> packed;
    for (std::size_t group = 0; group * 8 < values.size(); ++group) {
        for (int k = 0; k < 7; ++k) {
            std::uint8_t byte = 0;
            for (std::size_t j = 0; j < 8; ++j) {
                const std::size_t i = group * 8 + j;
                const unsigned value = i < values.size() ? values[i] : 0u;
                if (value >> (6 - k) & 1u) byte = static_cast<std::uint8_t>(byte | 1u << j);
            }
            packed.push_back(byte);
        }
    }
    return packed;
}

// Stream bytes of values written with one-byte limit B.
struct StreamBuilder {
    std::uint8_t limit = 128;
    std::vector<std::uint8_t> bytes;

    StreamBuilder& value(unsigned v) {
        if (v < limit) {
            bytes.push_back(static_cast<std::uint8_t>(v));
        } else {
            const unsigned d = v - limit;
            bytes.push_back(static_cast<std::uint8_t>(limit + d / 128));
            bytes.push_back(static_cast<std::uint8_t>(d % 128));
        }
        return *this;
    }
    StreamBuilder& line(std::initializer_list<unsigned> codes) {
        value(static_cast<unsigned>(codes.size()));
        for (unsigned code : codes) value(code);
        return *this;
    }
    // The header values B - 1, F, P.
    StreamBuilder& header(unsigned codesBefore, unsigned phrases) {
        return value(limit - 1u).value(codesBefore).value(phrases);
    }
};

// The image at `load`: header, packed stream, packed cell strip.
inline std::vector<std::uint8_t> buildImage(std::span<const std::uint8_t> stream,
                                            std::span<const GlyphCell> cells,
                                            std::uint32_t load = kLoadAddress) {
    const std::vector<std::uint8_t> packedStream = pack7(stream);
    std::vector<std::uint8_t> strip;
    for (const GlyphCell& cell : cells) strip.insert(strip.end(), cell.begin(), cell.end());
    const std::vector<std::uint8_t> packedCells = pack7(strip);
    const std::uint32_t glyphAddress = load + 4 + static_cast<std::uint32_t>(packedStream.size());
    std::vector<std::uint8_t> image;
    image.reserve(4 + packedStream.size() + packedCells.size());
    image.push_back(0);
    image.push_back(0);
    image.push_back(static_cast<std::uint8_t>(glyphAddress & 0xFF));
    image.push_back(static_cast<std::uint8_t>(glyphAddress >> 8 & 0xFF));
    image.insert(image.end(), packedStream.begin(), packedStream.end());
    image.insert(image.end(), packedCells.begin(), packedCells.end());
    return image;
}

}  // namespace kvz::testing
