// KVZ records: field extraction, the TextBlock and reading files.
#include "input/kvz.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>

#include "common/text.h"

namespace kvz {
namespace {

std::string describeRecordCount(std::size_t byteCount) {
    std::string text = plural(byteCount / kRecordSize, "record", "records");
    if (byteCount % kRecordSize != 0) text += " and " + plural(byteCount % kRecordSize, "byte", "bytes");
    return text;
}

std::size_t announcedRecords(const GroupCounts& counts) {
    return kGroupCount + std::accumulate(counts.begin(), counts.end(), std::size_t{0});
}

GroupCounts readGroupCounts(std::span<const std::uint8_t> bytes) {
    GroupCounts counts{};
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        counts[g] = groupEntryCount(bytes.subspan(g * kRecordSize, kRecordSize));
    }
    return counts;
}

// Where replaceChar stops reading `text` early: at a zero byte found at a
// character start, or at a lead byte whose trail byte is zero.
std::optional<std::size_t> findZeroCut(std::span<const std::uint8_t> text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == 0) return i;
        if (!isKanji(text[i])) {
            ++i;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == 0) return i;
        i += 2;
    }
    return std::nullopt;
}

// Notes a text cut at `cut` unless only zero bytes lie behind the cut.
void noteTruncation(std::vector<TruncatedText>& truncated, std::span<const std::uint8_t> text,
                    std::size_t cut, const TextPlace& place) {
    const auto lost = text.subspan(cut);
    const auto dropped = static_cast<std::size_t>(
        std::count_if(lost.begin(), lost.end(), [](std::uint8_t byte) { return byte != 0; }));
    if (dropped > 0) truncated.push_back(TruncatedText{place, cut, dropped});
}

// Extracts one field, appends its normalised text and notes a cut by a zero
// byte; false when the text is empty.
bool appendField(KvzFile& file, std::span<const std::uint8_t> source, std::size_t width, bool inverted,
                 const TextPlace& place) {
    std::array<std::uint8_t, kLongFieldWidth + 1> field{};
    const std::size_t length = getKvzText(field, source, width, inverted);
    const std::span<const std::uint8_t> text(field.data(), length);
    if (const auto cut = findZeroCut(text)) noteTruncation(file.truncatedTexts, text, *cut, place);
    return replaceChar(file.textBlock, field) > 0;
}

// Plainly no KVZ file: no whole number of records, or far more records
// announced than present (a text or picture read as group records).
bool looksLikeNoDeck(std::size_t byteCount, std::size_t announced) {
    constexpr std::size_t kAnnouncedBeyondReason = 4;
    return byteCount % kRecordSize != 0 || announced > kAnnouncedBeyondReason * (byteCount / kRecordSize);
}

Failure shortFile(std::size_t byteCount, std::size_t announced, const std::string& expectation) {
    const std::string figures = describeRecordCount(byteCount) + ", " + expectation;
    if (looksLikeNoDeck(byteCount, announced))
        return fail("does not look like a KVZ deck: " + figures, FailureKind::notADeck);
    return fail("truncated: " + figures);
}

Failure emptyText(const TextPlace& place) {
    return fail("empty text in " + describeTextPlace(place));
}

}  // namespace

std::size_t getKvzText(std::span<std::uint8_t> destination,
                       std::span<const std::uint8_t> source, std::size_t width,
                       bool inverted) {
    if (destination.empty()) return 0;
    width = std::min({width, source.size(), destination.size() - 1});
    const std::uint8_t flip = inverted ? kEntryInversion : 0x00;
    for (std::size_t i = 0; i < width; ++i) {
        destination[i] = static_cast<std::uint8_t>(source[i] ^ flip);
    }
    const std::uint8_t terminator = fieldTerminator(inverted);
    std::size_t position = 0;
    while (position < width && destination[position] != terminator) {
        const std::size_t length = isKanji(destination[position]) ? 2 : 1;
        if (position + length > width) break;  // lone lead byte at the field's end
        position += length;
    }
    destination[position] = 0;
    return position;
}

std::string describeTextPlace(const TextPlace& place) {
    std::string text = "group " + std::to_string(place.group);
    if (place.entry < 0) return text + " name";
    return text + " entry " + std::to_string(place.entry) + " " +
           std::string(kFieldNames[static_cast<std::size_t>(place.field)]);
}

std::string describeTruncatedText(const TruncatedText& truncated) {
    return describeTextPlace(truncated.place) + " is cut by a zero byte: " +
           plural(truncated.kept, "byte", "bytes") + " kept, " + std::to_string(truncated.dropped) + " dropped";
}

TextPlace placeOfText(std::size_t index, const GroupCounts& counts) {
    if (index < kGroupCount) return TextPlace{static_cast<int>(index), -1, 0};
    std::size_t entry = (index - kGroupCount) / kFieldsPerEntry;
    const int field = static_cast<int>((index - kGroupCount) % kFieldsPerEntry);
    std::size_t group = 0;
    while (group + 1 < kGroupCount && entry >= counts[group]) {
        entry -= counts[group];
        ++group;
    }
    return TextPlace{static_cast<int>(group), static_cast<int>(entry), field};
}

std::string formatCharCode(CharCode code) {
    char text[16];
    if (isKanji(code[0]))
        std::snprintf(text, sizeof text, "0x%02X%02X", code[0], code[1]);
    else
        std::snprintf(text, sizeof text, "0x%02X", code[0]);
    return text;
}

std::uint32_t groupEntryCount(std::span<const std::uint8_t> groupRecord) {
    return static_cast<std::uint32_t>(groupRecord[kGroupCountOffset]) |
           (static_cast<std::uint32_t>(groupRecord[kGroupCountOffset + 1]) << 8);
}

Result<GroupCounts> checkKvzRecords(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kGroupRecordsSize)
        return shortFile(bytes.size(), 0, "a KVZ file starts with 8 group records");  // none announced yet
    const GroupCounts counts = readGroupCounts(bytes);
    const std::size_t announced = announcedRecords(counts);
    if (bytes.size() < announced * kRecordSize)
        return shortFile(bytes.size(), announced, "the group records announce " + std::to_string(announced));
    return counts;
}

Result<KvzFile> readKvzBytes(std::span<const std::uint8_t> bytes) {
    Result<GroupCounts> counts = checkKvzRecords(bytes);
    KVZ_TRY(counts);
    KvzFile file;
    file.groupCounts = *counts;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const TextPlace place{static_cast<int>(g), -1, 0};
        if (!appendField(file, bytes.subspan(g * kRecordSize), kGroupNameWidth, false, place))
            return emptyText(place);
    }
    std::size_t record = kGroupCount;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        for (std::uint32_t e = 0; e < file.groupCounts[g]; ++e, ++record) {
            const auto entry = bytes.subspan(record * kRecordSize, kRecordSize);
            for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
                const FieldLayout& layout = kEntryFieldLayout[f];
                const TextPlace place{static_cast<int>(g), static_cast<int>(e), static_cast<int>(f)};
                if (!appendField(file, entry.subspan(layout.offset), layout.width, true, place))
                    return emptyText(place);
            }
        }
    }
    file.textBlock.push_back(0);
    file.textBlock.shrink_to_fit();
    return file;
}

std::size_t announcedKvzSize(std::span<const std::uint8_t> groupRecords) {
    if (groupRecords.size() < kGroupRecordsSize) return kGroupRecordsSize;
    return announcedRecords(readGroupCounts(groupRecords)) * kRecordSize;
}

void appendStoredField(std::vector<std::uint8_t>& kvz, std::string_view text, std::size_t width, bool inverted) {
    const std::uint8_t flip = inverted ? kEntryInversion : 0x00;
    const std::size_t length = std::min(text.size(), width);
    for (std::size_t i = 0; i < length; ++i) kvz.push_back(static_cast<std::uint8_t>(text[i]) ^ flip);
    kvz.insert(kvz.end(), width - length, kStoredSpace);
}

void appendGroupRecord(std::vector<std::uint8_t>& kvz, std::string_view name, std::uint16_t entries) {
    const std::size_t start = kvz.size();
    appendStoredField(kvz, name, kGroupNameWidth, false);
    kvz.resize(start + kGroupCountOffset, 0x00);
    kvz.push_back(static_cast<std::uint8_t>(entries & 0xFF));
    kvz.push_back(static_cast<std::uint8_t>(entries >> 8));
    kvz.resize(start + kRecordSize, kStoredSpace);
}

void appendEntryRecord(std::vector<std::uint8_t>& kvz, std::span<const std::string, kFieldsPerEntry> fields) {
    for (std::size_t f = 0; f < kFieldsPerEntry; ++f) appendStoredField(kvz, fields[f], kEntryFieldLayout[f].width, true);
}

std::string storedFieldText(std::span<const std::uint8_t> field, bool inverted) {
    const std::uint8_t flip = inverted ? kEntryInversion : 0x00;
    const std::uint8_t terminator = fieldTerminator(inverted);
    std::string text;
    for (std::size_t position = 0; position < field.size(); ++position) {
        const auto byte = static_cast<std::uint8_t>(field[position] ^ flip);
        if (byte == terminator) break;
        text += static_cast<char>(byte);
        if (isKanji(byte) && position + 1 < field.size()) text += static_cast<char>(field[++position] ^ flip);
    }
    return text;
}

}  // namespace kvz
