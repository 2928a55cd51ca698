// The largest file each front end reads, one bound per kind of input: a file
// longer than its bound is refused before any of it is read, with the same
// reason on the command line and in the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/layout.h"
#include "input/kvz.h"

namespace kvz {

// The longest HEX text read as an image. The largest image, kImageCapacity
// bytes, written in data records of a single byte each (15 characters with
// CR LF), ends with its end record at 960733 bytes; kvzpack's own form of it
// (16-byte records) takes 180148 bytes, its numbered .txt form 195057. A
// MiB leaves room for blank lines and whatever follows the end record.
inline constexpr std::size_t kLongestImageText = std::size_t{1} << 20;
static_assert(kLongestImageText >= kImageCapacity * 15 + 13);

// The longest text read as a deck's table. The largest deck, 65535 entries
// in each of the 8 groups, each entry at most 256 bytes of Shift_JIS, takes
// at most 3 bytes of UTF-8 or 2 of UTF-16 for each byte: about 406 MB as
// UTF-8 and 276 MB as UTF-16 (tabs and line ends included), before
// comments and \xHH escapes. 512 MiB holds either with room to spare, and
// stops a device or a sparse file early.
inline constexpr std::size_t kLongestDeckText = std::size_t{512} << 20;

// The largest Anki package read: its media, read past but never unpacked,
// may take far more than its collection.
inline constexpr std::size_t kLongestPackage = std::size_t{2} << 30;

// The largest KVZ deck: its 8 group records and 65535 entry records in each
// group. The command line reads no more than the records a deck announces;
// a front end that is handed the whole file refuses one larger than this.
inline constexpr std::uint64_t kLargestKvzFile = kGroupRecordsSize + std::uint64_t{kGroupCount} * 0xFFFF * kRecordSize;

// The reasons a file beyond its bound is refused with: "is larger than any
// image's HEX text (at most 1048576 bytes)", "is larger than any deck's
// text (at most 536870912 bytes)", "is larger than any KVZ deck (at most
// 134217728 bytes)".
std::string imageTextTooLarge();
std::string deckTextTooLarge();
std::string kvzFileTooLarge();
std::string packageTooLarge();

}  // namespace kvz
