// KVZ input: 256-byte records, 8 group records then the entry records of
// groups 0 to 7, Shift_JIS texts normalised into one full-width form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace kvz {

inline constexpr std::size_t kRecordSize = 256;
inline constexpr std::size_t kGroupCount = 8;
inline constexpr std::size_t kGroupNameWidth = 16;
inline constexpr std::size_t kLongFieldWidth = 116;
inline constexpr std::size_t kShortFieldWidth = 28;
inline constexpr std::size_t kFieldsPerEntry = 6;
inline constexpr std::size_t kGroupRecordsSize = kGroupCount * kRecordSize;

// The record layout. A group record holds its name in its first
// kGroupNameWidth bytes and its entry count, 16 bits little-endian, at
// kGroupCountOffset; an entry record holds the long field and short fields 1
// to 5 one after another. A text ends at its field's end or at the first
// stored space found at a character start, and every field is padded with
// stored spaces. Entry fields are stored with the top bit of every byte
// inverted (kEntryInversion); group names are stored as they are.
inline constexpr std::size_t kGroupCountOffset = 18;
inline constexpr std::uint8_t kStoredSpace = 0x20;
inline constexpr std::uint8_t kEntryInversion = 0x80;

struct FieldLayout {
    std::size_t offset;
    std::size_t width;
};
inline constexpr std::array<FieldLayout, 6> kEntryFieldLayout{{
    {0, kLongFieldWidth},
    {kLongFieldWidth, kShortFieldWidth},
    {kLongFieldWidth + kShortFieldWidth, kShortFieldWidth},
    {kLongFieldWidth + 2 * kShortFieldWidth, kShortFieldWidth},
    {kLongFieldWidth + 3 * kShortFieldWidth, kShortFieldWidth},
    {kLongFieldWidth + 4 * kShortFieldWidth, kShortFieldWidth},
}};
static_assert(kEntryFieldLayout.size() == kFieldsPerEntry);
static_assert(kEntryFieldLayout.back().offset + kEntryFieldLayout.back().width == kRecordSize);

// The byte that ends a field's text once its inversion is undone: a stored
// space.
constexpr std::uint8_t fieldTerminator(bool inverted) {
    return inverted ? kStoredSpace ^ kEntryInversion : kStoredSpace;
}

// Every text of a file, normalised, each followed by a zero byte, in file
// order (8 group names, then long field and short fields 1-5 of every entry);
// one more zero byte (an empty text) ends the whole.
using TextBlock = std::vector<std::uint8_t>;
// Entry counts of groups 0 to 7 (each read from a 16-bit field).
using GroupCounts = std::array<std::uint32_t, kGroupCount>;


// Shift_JIS lead byte: 0x81-0x9F or 0xE0-0xFC. A lead byte starts a two-byte
// character; every other byte is a one-byte character.
constexpr bool isKanji(std::uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Shift_JIS trail byte: 0x40-0x7E or 0x80-0xFC. A lead byte followed by any
// other byte makes a two-byte code that is no Shift_JIS character.
constexpr bool isTrailByte(std::uint8_t byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

// Copies `width` bytes of `source` into `destination` (width + 1 bytes),
// inverting each top bit when `inverted`, and ends the text at the first
// terminator found at a character start (0xA0 inverted, 0x20 plain) or at the
// field's end. A lead byte left without its trail byte inside the field is
// dropped. Returns the text's length.
std::size_t getKvzText(std::span<std::uint8_t> destination,
                       std::span<const std::uint8_t> source, std::size_t width,
                       bool inverted);

// Appends the normalised form of the text in `source` (up to its first zero
// byte or its end) and one zero byte to `destination`. ASCII graphics and
// half-width katakana become full width, voiced katakana split into base and
// mark. A lone lead byte at the end is dropped. Returns the bytes appended
// before the zero.
std::size_t replaceChar(std::vector<std::uint8_t>& destination,
                        std::span<const std::uint8_t> source);

// Where a text lives in a KVZ file: group 0-7; entry -1 for the group name,
// else its number within the group from 0; field 0 = long, 1-5 = short.
struct TextPlace {
    int group = 0;
    int entry = -1;
    int field = 0;
};
// An entry's fields as every message and front end names them, by field
// number.
inline constexpr std::array<std::string_view, kFieldsPerEntry> kFieldNames{
    "long field", "short field 1", "short field 2", "short field 3", "short field 4", "short field 5"};
// "group 2 name", "group 2 entry 5 short field 3", ...; the field is 0 to 5.
std::string describeTextPlace(const TextPlace& place);

// A text that a zero byte cuts short: the device reads it up to that byte
// (or up to a lead byte whose trail byte is zero). `kept` counts the bytes
// of the field before the cut, `dropped` the nonzero bytes behind it up to
// the text's end.
struct TruncatedText {
    TextPlace place;
    std::size_t kept = 0;
    std::size_t dropped = 0;
};
// "group 1 entry 4 short field 2 is cut by a zero byte: 3 bytes kept, 4 dropped"
std::string describeTruncatedText(const TruncatedText& truncated);

struct KvzFile {
    TextBlock textBlock;
    GroupCounts groupCounts{};
    // Every text cut by a zero byte with something behind it, in file order.
    // Zero bytes that only pad a field are no loss and are not listed.
    std::vector<TruncatedText> truncatedTexts;
};

// The place of text `index` of a TextBlock (0-7 the group names, then six
// texts per entry, groups in order). An index past the announced entries
// counts on in the last group.
TextPlace placeOfText(std::size_t index, const GroupCounts& counts);

// A character: lead and trail byte, or a one-byte character and 0.
using CharCode = std::array<std::uint8_t, 2>;

// "0xFA40" for a two-byte character, "0xFD" for a one-byte one.
std::string formatCharCode(CharCode code);

// Calls visit(code) for every character of the texts up to the first empty
// text, and endText(characters) after each text, with the number of
// characters it visited in it. A lead byte whose trail byte would be the
// text's zero byte ends the text.
template <class Visit, class EndText>
void forEachCharacter(const TextBlock& textBlock, Visit visit, EndText endText) {
    std::size_t i = 0;
    const std::size_t size = textBlock.size();
    while (i < size && textBlock[i] != 0) {
        std::size_t characters = 0;
        while (i < size && textBlock[i] != 0) {
            const std::uint8_t first = textBlock[i];
            if (isKanji(first)) {
                if (i + 1 >= size || textBlock[i + 1] == 0) {
                    ++i;
                    break;
                }
                visit(CharCode{first, textBlock[i + 1]});
                i += 2;
            } else {
                visit(CharCode{first, 0});
                i += 1;
            }
            ++characters;
        }
        while (i < size && textBlock[i] != 0) ++i;  // rest of a cut text
        ++i;                                          // its zero byte
        endText(characters);
    }
}

// Entry count announced by a group record (bytes 18-19, little-endian).
std::uint32_t groupEntryCount(std::span<const std::uint8_t> groupRecord);

// The GroupCounts of `bytes`, after checking that they hold the 8 group
// records and every entry record these announce; else the reason, e.g.
// "truncated: 9 records, the group records announce 12". Bytes that are no
// whole number of records, or announced records more than four times those
// present, fail with FailureKind::notADeck: "does not look like a KVZ deck:
// 16 records and 40 bytes, the group records announce 222824".
Result<GroupCounts> checkKvzRecords(std::span<const std::uint8_t> bytes);

// Parses the records of a KVZ file held in memory. Bytes behind the last
// announced record are ignored. Fails, with the reason, on a file that ends
// before its last announced record and on an empty text. Lists the texts
// that zero bytes cut short; the texts themselves stay cut, as the device
// reads them.
Result<KvzFile> readKvzBytes(std::span<const std::uint8_t> bytes);

// Writing records. Each appends one record (or field) to `kvz` as the
// reader above reads it. A text longer than its field is cut to the field
// (callers check the width first: a cut text is no longer what was meant).

// `text` in a field of `width` bytes: the text, then stored spaces up to the
// width; with `inverted` (an entry field) every byte's top bit inverted.
void appendStoredField(std::vector<std::uint8_t>& kvz, std::string_view text, std::size_t width, bool inverted);

// A group record: the name, zero bytes up to the count, the entry count,
// stored spaces to the record's end.
void appendGroupRecord(std::vector<std::uint8_t>& kvz, std::string_view name, std::uint16_t entries);

// An entry record: the long field and short fields 1 to 5, in order.
void appendEntryRecord(std::vector<std::uint8_t>& kvz, std::span<const std::string, kFieldsPerEntry> fields);

// The raw text stored in a field (after undoing the inversion with
// `inverted`), up to the first terminator found at a character start. Unlike
// getKvzText it keeps a lead byte at the field's end: it gives the bytes as
// stored, for writing a deck back as text.
std::string storedFieldText(std::span<const std::uint8_t> field, bool inverted);

// The size of a KVZ file as its group records announce it: the 8 group
// records and every entry record they announce. Given fewer bytes than the
// group records take, the size of the group records alone.
std::size_t announcedKvzSize(std::span<const std::uint8_t> groupRecords);

}  // namespace kvz
