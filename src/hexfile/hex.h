// Intel HEX: data records (type 00) of up to 16 bytes and the end record,
// upper-case digits, CR LF line ends; a plain form and a numbered form whose
// lines carry their decimal line number. The reader works on text in memory,
// accepts either case and LF or CR LF line ends, and names the line of the
// first fault it finds.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace kvz {

// The lines for `image` placed at `base` (byte i at address base + i).
// Fails when the image would reach past address 0xFFFF.
Result<std::string> formatHexAbs(std::span<const std::uint8_t> image, std::uint32_t base,
                                 bool numbered);

// As formatHexAbs, but `data` is indexed by absolute address: the lines for
// data[start] .. data[start + size - 1] placed at `start`; a range outside
// `data` is refused. Writing these texts to files is left to io
// (io/format_files.h: writeHexAbs and writeHex).
Result<std::string> formatHex(std::span<const std::uint8_t> data, std::uint32_t start, std::uint32_t size,
                              bool numbered);

// How strictly a HEX text is read.
// lenient: the loader's reading. Lines are taken 255 characters at most, a
//   piece stopping after its LF; each must begin with a whole record, and
//   whatever follows a record's last examined character is ignored. An end
//   record, a record whose byte count is 0, or a data record of which nothing
//   is stored ends the data. Records may overlap and leave gaps.
// image: the reading of a device image. Every line up to the end record must
//   be one whole record (digits only after the ':', an even number of them,
//   the byte count agreeing with the bytes there, types 00 and 01 only), and
//   the data records must make one image: no gaps between them, no address
//   given two different values, no data record without bytes before further
//   data, nothing past address 0xFFFF, and an end record. Records after the
//   end record are not read; they give a warning.
enum class HexReading { lenient, image };

struct HexReadOptions {
    HexReading reading = HexReading::image;
    bool verify = true;  // check the checksums (the lenient reading: of data records only)
    // The window: the byte of address a goes to destination[a - windowStart]
    // when windowStart <= a and a - windowStart < limit, and it lies within the
    // destination (an empty destination stores nothing).
    std::uint32_t windowStart = 0;
    std::uint32_t limit = 0x10000;
};

struct HexData {
    std::uint32_t lowest = 0xFFFF;  // lowest data address; 0xFFFF without data
    std::uint32_t span = 0;         // highest end - lowest address; 0 without data
    std::vector<std::string> warnings;  // "line 9: ...", for the front end to show
};

// Reads the data records of `text` into the window of `destination`.
// The first fault fails the read with "line N: what is wrong" (N counted from
// 1). A text without records is read as no data by the lenient reading and
// refused with "no records" by the image reading.
// lenient: lowest and span cover the records accepted; in the window a record
//   is read only as far as the window reaches (the rest of a record that
//   crosses its end is still verified when verify is set), and without a
//   destination every record counts whole. After a fault the destination
//   keeps what the records before it stored.
// image: lowest and span cover every data record, inside the window or not;
//   after a fault nothing has been stored.
Result<HexData> readHexText(std::string_view text, std::span<std::uint8_t> destination,
                            const HexReadOptions& options);

// The lenient reading of `text`, with checksums verified when `verify` is
// set and the window a < limit (destination[a]). Returns the span, 0 when the
// read fails and when there are no data; the lowest address (0xFFFF without
// data) is stored through `lowest` (may be null) unless the read fails.
std::uint32_t readHexFromText(std::string_view text, std::span<std::uint8_t> destination,
                              std::uint32_t* lowest, std::uint32_t limit, bool verify);
// As readHexFromText, with the window relative to the text's lowest data
// address low: the byte of address a goes to destination[a - low] when
// a - low < limit. low is found by a first pass without destination over the
// addresses below 0xFFFF; when that pass fails or finds no data, the result
// is 0 and nothing is stored through `lowest`.
std::uint32_t readHexAbsFromText(std::string_view text, std::span<std::uint8_t> destination,
                                 std::uint32_t* lowest, std::uint32_t limit, bool verify);

}  // namespace kvz
