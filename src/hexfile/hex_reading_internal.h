// What the lenient and the image reading of Intel HEX text share: the
// window, the checksum rule and the one-line descriptions of a faulty
// record. Private to the module and its tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/result.h"

namespace kvz::detail {

// The addresses whose bytes are kept: address a goes to destination[a - start]
// when start <= a and a - start < size. Without a destination nothing is
// stored, but the window still decides which data digits are read.
struct Window {
    std::span<std::uint8_t> destination;
    std::uint32_t start = 0;
    std::uint64_t size = 0;

    Window(std::span<std::uint8_t> into, std::uint32_t windowStart, std::uint32_t limit)
        : destination(into), start(windowStart), size(limit) {
        if (!destination.empty()) size = std::min<std::uint64_t>(size, destination.size());
    }
    bool contains(std::uint32_t address) const { return address >= start && address - start < size; }
    void store(std::uint32_t address, std::uint8_t value) const {
        if (!destination.empty()) destination[address - start] = value;
    }
};

// The checksum that completes a record whose other bytes add up to `sum`.
inline std::uint8_t checksumOf(unsigned sum) { return static_cast<std::uint8_t>(0x100 - (sum & 0xFF)); }

// The number of hex digits that follow the ':' at the start of `line` before
// its first other character.
std::size_t leadingDigits(std::string_view line);

// Each gives "line N: " and what is wrong with that line.
Failure notRecordStart(unsigned line);
Failure lineTooLong(unsigned line, std::size_t maxLength);
Failure notHexDigit(unsigned line, std::size_t column, char character);  // column from 1
// A record whose digits (`digits` of them after the ':', the last two taken
// as its checksum) do not match the byte count `count` it gives, or that are
// too few or odd in number.
Failure wrongRecordLength(unsigned line, std::size_t digits, int count);
Failure wrongChecksum(unsigned line, std::uint8_t found, std::uint8_t expected);
Failure unsupportedType(unsigned line, int type);

// The image reading's faults, and its warning.
Failure noRecords();
Failure endBeforeData(unsigned line);
Failure emptyDataRecord(unsigned line);
Failure dataPastAddressSpace(unsigned line);
Failure conflictingData(unsigned line, std::uint32_t address, std::uint8_t value, unsigned earlierLine,
                        std::uint8_t earlierValue);
Failure gapBefore(unsigned line, std::uint32_t first, std::uint32_t last);
Failure noEndRecord(unsigned lastRecordLine);
std::string recordsAfterEnd(unsigned line);

}  // namespace kvz::detail
