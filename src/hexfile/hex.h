// Intel HEX: data records (type 00) of up to 16 bytes and the end record,
// upper-case digits, CR LF line ends; a plain form and a numbered form whose
// lines carry their decimal line number. The reader accepts either case and
// LF or CR LF line ends.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/result.h"

namespace kvz {

// The lines for `image` placed at `base` (byte i at address base + i).
// Fails when the image would reach past address 0xFFFF.
Result<std::string> formatHexAbs(std::span<const std::uint8_t> image, std::uint32_t base,
                                 bool numbered);

// Writes formatHexAbs's lines to `path` (created or emptied). Every write,
// flush and close is checked: a failure gives a reason naming the path and
// the system's reason, and the file may then hold part of the text (write to
// a temporary name and rename it to keep an older file safe). An image that
// would reach past 0xFFFF is refused before the file is touched. Returns the
// number of bytes written as data.
Result<std::uint32_t> writeHexAbs(const std::string& path, std::span<const std::uint8_t> image,
                                  std::uint32_t base, bool numbered);
// As writeHexAbs, but `data` is indexed by absolute address: the bytes
// data[start] .. data[start + size - 1] are written; a range outside `data`
// is refused.
Result<std::uint32_t> writeHex(const std::string& path, std::span<const std::uint8_t> data,
                               std::uint32_t start, std::uint32_t size, bool numbered);

// Reads data records into `destination` (indexed by absolute address; empty
// to scan only), within the window a < limit that also lies within
// `destination`, verifying checksums when asked. Lines are taken 255
// characters at most, a piece stopping after its LF; each must be a whole
// record. With verify set every data record is checked over its whole text,
// also where it reaches past the window (the bytes past it are not stored).
// Returns highest end - lowest address, 0 on failure or without data; the
// lowest address (0xFFFF without data) is stored through `lowest` (may be
// null) unless the read fails. readHexText reads text in memory, readHex a
// file (0 when it cannot be opened or read).
std::uint32_t readHexText(std::string_view text, std::span<std::uint8_t> destination,
                          std::uint32_t* lowest, std::uint32_t limit, bool verify);
std::uint32_t readHex(const std::string& path, std::span<std::uint8_t> destination,
                      std::uint32_t* lowest, std::uint32_t limit, bool verify);
// As readHex, with the window relative to the file's lowest data address:
// the byte of address a goes to destination[a - lowest] when a - lowest < limit.
std::uint32_t readHexAbs(const std::string& path, std::span<std::uint8_t> destination,
                         std::uint32_t* lowest, std::uint32_t limit, bool verify);

}  // namespace kvz
