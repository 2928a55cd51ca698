// The formats' functions that take a path: thin layers over the byte and
// text functions of input and hexfile, reading and writing through io.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "input/kvz.h"

namespace kvz {

// Reads the 8 group records of a KVZ file and then the entry records they
// announce, and nothing behind them; less when the file ends early (a short
// result is refused by readKvzBytes). Short reads of pipes and FIFOs are
// completed; memory grows with the bytes actually read, never with the
// announced size. A FIFO without a writer reads as empty. Fails with
// FailureKind::cannotOpen (the reason is the system's cause) when the file
// cannot be opened or read; a directory is refused as invalid.
Result<std::vector<std::uint8_t>> readKvzRecords(const std::string& path);

// readKvzRecords, then readKvzBytes.
Result<KvzFile> readKvzFile(const std::string& path);

// Writes formatHexAbs's lines to `path` (created or emptied). Every write,
// flush and close is checked: a failure reads "cannot write PATH: REASON"
// with the system's reason, and the file may then hold part of the text
// (write to a temporary name and rename it to keep an older file safe). An
// image that would reach past 0xFFFF is refused before the file is touched.
// Returns the number of bytes written as data.
Result<std::uint32_t> writeHexAbs(const std::string& path, std::span<const std::uint8_t> image,
                                  std::uint32_t base, bool numbered);
// As writeHexAbs, with formatHex's lines: `data` is indexed by absolute
// address, and a range outside it is refused before the file is touched.
Result<std::uint32_t> writeHex(const std::string& path, std::span<const std::uint8_t> data,
                               std::uint32_t start, std::uint32_t size, bool numbered);

// readHexFromText and readHexAbsFromText on the contents of `path`; 0 when
// the file cannot be read (nothing is then stored through `lowest`).
std::uint32_t readHex(const std::string& path, std::span<std::uint8_t> destination,
                      std::uint32_t* lowest, std::uint32_t limit, bool verify);
std::uint32_t readHexAbs(const std::string& path, std::span<std::uint8_t> destination,
                         std::uint32_t* lowest, std::uint32_t limit, bool verify);

}  // namespace kvz
