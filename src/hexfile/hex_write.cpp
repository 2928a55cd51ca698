#include <algorithm>
#include <cstdio>
#include <string>

#include "hexfile/hex.h"
#include "hexfile/hex_internal.h"

namespace kvz {

namespace detail {

void bin2hex(std::string& out, std::span<const std::uint8_t> bytes, std::uint32_t address) {
    if (bytes.empty()) {
        out += endOfFileRecord;
        out += lineEnd;
        return;
    }
    const auto count = static_cast<std::uint8_t>(bytes.size());
    const auto high = static_cast<std::uint8_t>(address >> 8);
    const auto low = static_cast<std::uint8_t>(address);
    unsigned sum = count + high + low;
    out += ':';
    int2c(out, count);
    int2c(out, high);
    int2c(out, low);
    out += "00";
    for (std::uint8_t byte : bytes) {
        int2c(out, byte);
        sum += byte;
    }
    int2c(out, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    out += lineEnd;
}

}  // namespace detail

namespace {

constexpr std::uint64_t addressSpaceEnd = 0x10000;

std::string hexAddress(std::uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(address));
    return text;
}

}  // namespace

Result<std::string> formatHexAbs(std::span<const std::uint8_t> image, std::uint32_t base,
                                 bool numbered) {
    const std::uint64_t end = std::uint64_t{base} + image.size();
    if (end > addressSpaceEnd) {
        return fail("data of " + std::to_string(image.size()) + " bytes at " + hexAddress(base) +
                    " would end at " + hexAddress(end - 1) + ", past address 0xFFFF");
    }
    std::string text;
    text.reserve((image.size() / detail::recordBytes + 2) * 50);
    unsigned lineNumber = 1;
    for (std::size_t offset = 0; offset < image.size(); offset += detail::recordBytes) {
        const std::size_t count = std::min(detail::recordBytes, image.size() - offset);
        if (numbered) text += std::to_string(lineNumber++);
        detail::bin2hex(text, image.subspan(offset, count),
                        static_cast<std::uint32_t>(base + offset));
    }
    if (numbered) text += std::to_string(lineNumber);
    detail::bin2hex(text, {}, 0);
    return text;
}

Result<std::string> formatHex(std::span<const std::uint8_t> data, std::uint32_t start, std::uint32_t size,
                              bool numbered) {
    if (size == 0) return formatHexAbs({}, start, numbered);
    if (std::uint64_t{start} + size > data.size()) {
        return fail("bytes " + hexAddress(start) + " to " +
                    hexAddress(std::uint64_t{start} + size - 1) + " lie outside the buffer of " +
                    std::to_string(data.size()) + " bytes");
    }
    return formatHexAbs(data.subspan(start, size), start, numbered);
}

}  // namespace kvz
