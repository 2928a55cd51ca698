#include <cstdio>
#include <string>

#include "hexfile/hex_internal.h"
#include "hexfile/hex_reading_internal.h"

namespace kvz::detail {
namespace {

Failure onLine(unsigned line, const std::string& what) {
    return fail("line " + std::to_string(line) + ": " + what);
}

std::string hexByte(unsigned value) {
    std::string digits;
    int2c(digits, static_cast<std::uint8_t>(value));
    return digits;
}

std::string hex4(std::uint32_t value) {
    return "0x" + hexByte(value >> 8) + hexByte(value & 0xFF);
}

std::string quoted(char character) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte > 0x20 && byte < 0x7F) return std::string("'") + character + "'";
    return "byte 0x" + hexByte(byte);
}

}  // namespace

std::size_t leadingDigits(std::string_view line) {
    std::size_t digits = 0;
    while (1 + digits < line.size() && h2i(line[1 + digits]) >= 0) ++digits;
    return digits;
}

Failure notRecordStart(unsigned line) { return onLine(line, "does not begin with ':'"); }

Failure lineTooLong(unsigned line, std::size_t maxLength) {
    return onLine(line, "longer than " + std::to_string(maxLength) + " characters, its line end included");
}

Failure notHexDigit(unsigned line, std::size_t column, char character) {
    return onLine(line, quoted(character) + " in column " + std::to_string(column) +
                            " is not a hex digit");
}

Failure wrongRecordLength(unsigned line, std::size_t digits, int count) {
    if (digits % 2 != 0) return onLine(line, "odd number of hex digits (" + std::to_string(digits) + ")");
    const std::size_t bytes = digits / 2;
    if (bytes < 5)
        return onLine(line, "too short for a record: " + std::to_string(bytes) +
                                " bytes, a record has at least 5");
    return onLine(line, "byte count " + hexByte(static_cast<unsigned>(count)) + " (" +
                            std::to_string(count) + " data bytes), the record has " +
                            std::to_string(bytes - 5));
}

Failure wrongChecksum(unsigned line, std::uint8_t found, std::uint8_t expected) {
    return onLine(line, "checksum " + hexByte(found) + ", expected " + hexByte(expected));
}

Failure unsupportedType(unsigned line, int type) {
    return onLine(line, "record type " + hexByte(static_cast<unsigned>(type)) +
                            " is not supported (only 00 data and 01 end)");
}

Failure noRecords() { return fail("no records"); }

Failure endBeforeData(unsigned line) { return onLine(line, "end record before any data record"); }

Failure emptyDataRecord(unsigned line) {
    return onLine(line, "data record without bytes, with more data after it");
}

Failure dataPastAddressSpace(unsigned line) { return onLine(line, "data run past address 0xFFFF"); }

Failure conflictingData(unsigned line, std::uint32_t address, std::uint8_t value, unsigned earlierLine,
                        std::uint8_t earlierValue) {
    return onLine(line, "address " + hex4(address) + " holds " + hexByte(value) + " here but " +
                            hexByte(earlierValue) + " on line " + std::to_string(earlierLine));
}

Failure gapBefore(unsigned line, std::uint32_t first, std::uint32_t last) {
    return onLine(line, "gap before this record: no data for " + hex4(first) + "-" + hex4(last));
}

Failure noEndRecord(unsigned lastRecordLine) {
    return onLine(lastRecordLine, "no end record after this last record");
}

std::string recordsAfterEnd(unsigned line) {
    return "line " + std::to_string(line) + ": records after the end record, not read";
}

}  // namespace kvz::detail
