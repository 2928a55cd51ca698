// The stream the device reads: every value in one byte below the file's
// one-byte limit, or two bytes, every byte below 128.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "compress/compress.h"

namespace kvz {
namespace {

constexpr std::int32_t kLargestCodeCount = 16257;  // one-byte limit 1
constexpr std::size_t kGroupLines = 8;

struct StreamWriter {
    std::vector<std::uint8_t>& bytes;
    std::uint8_t limit;
    std::uint16_t codesBefore;  // F: words from F on are phrase codes
    std::uint32_t codeCount;    // N

    // Phrase codes are written in reverse order of creation.
    std::uint16_t renumber(std::uint16_t word) const {
        if (word < codesBefore) return word;
        return static_cast<std::uint16_t>(codeCount - word + codesBefore - 1);
    }
    void writeLine(std::span<const std::uint16_t> line) const {
        for (std::uint16_t word : line) encode8_1(bytes, limit, renumber(word));
    }
    void writeValue(std::uint16_t value) const { encode8_1(bytes, limit, value); }
};

// What the user can do about a value that does not fit.
constexpr std::string_view kSplitTheDeck = "split the deck";
constexpr std::string_view kSplitTheGroup = "split the group, or the deck";

Status checkFits(const std::string& what, std::uint64_t value, std::uint8_t limit,
                 std::uint32_t codeCount, std::string_view remedy) {
    const std::int32_t largest = largestStreamValue(limit);
    if (value <= static_cast<std::uint64_t>(largest)) return success();
    return fail(what + " " + std::to_string(value) + " does not fit the stream: with " +
                std::to_string(codeCount) + " codes its values stop at " + std::to_string(largest) + "; " +
                std::string(remedy));
}

// Checks every value of the group table with `check(what, value, remedy)`,
// in the order the stream holds them: each group's first-entry index, then
// its entry count.
template <class Check>
Status checkGroupValues(const GroupCounts& groupCounts, Check check) {
    std::uint64_t firstEntry = 0;
    for (std::size_t g = 0; g < kGroupLines; ++g) {
        const std::string group = "group " + std::to_string(g) + "'s ";
        KVZ_TRY(check(group + "first-entry index", firstEntry, kSplitTheDeck));
        KVZ_TRY(check(group + "entry count", groupCounts[g], kSplitTheGroup));
        firstEntry += groupCounts[g];
    }
    return success();
}

// Phrase codes are 16-bit words and wrap past 65535, so the largest word
// stops at 65535 however many phrases there are; every character and every
// phrase needs a code of its own.
std::uint64_t neededCodes(std::uint32_t codeCount, std::uint16_t codesBefore, std::int32_t phraseLines) {
    return std::max<std::uint64_t>(codeCount, std::uint64_t{codesBefore} + static_cast<std::uint64_t>(std::max(phraseLines, 0)));
}

std::uint8_t plainLimit(std::uint32_t codeCount) {
    return getC2Code(static_cast<std::int32_t>(std::min<std::uint32_t>(codeCount, 0x10000)));
}

}  // namespace

Status checkGroupTableFitsAnyStream(const GroupCounts& groupCounts) {
    const std::int32_t largest = largestStreamValue(getC2Code(kLargestCodeCount));
    return checkGroupValues(groupCounts, [&](const std::string& what, std::uint64_t value, std::string_view remedy) -> Status {
        if (value <= static_cast<std::uint64_t>(largest)) return success();
        return fail(what + " " + std::to_string(value) + " does not fit the stream: with any number of codes its values stop at " +
                    std::to_string(largest) + " or below; " + std::string(remedy));
    });
}

std::uint64_t leastStreamValues(std::uint64_t textLines) {
    constexpr std::uint64_t kHeaderValues = 3;
    constexpr std::uint64_t kValuesPerGroup = 2;  // first-entry index and entry count
    constexpr std::uint64_t kLeastPerLine = 2;    // the length word and one code
    return kHeaderValues + kValuesPerGroup * kGroupLines + kLeastPerLine * textLines;
}

std::uint8_t getC2Code(std::int32_t n) {
    return static_cast<std::uint8_t>((16384 - n) / 127);
}

std::int32_t largestStreamValue(std::uint8_t limit) { return 16383 - 127 * limit; }

std::uint8_t streamLimit(std::uint32_t codeCount, std::uint16_t codesBefore) {
    const std::uint8_t limit = plainLimit(codeCount);
    // Lowered, the limit stays at least 1, so that B - 1 is a byte below 128.
    if (limit < 2 || limit > 128 || codesBefore <= largestStreamValue(limit)) return limit;
    return static_cast<std::uint8_t>(limit - 1);
}

bool streamLimitLowered(std::uint32_t codeCount, std::uint16_t codesBefore) {
    return streamLimit(codeCount, codesBefore) != plainLimit(codeCount);
}

std::string describeLoweredLimit(std::uint32_t codeCount, std::uint16_t codesBefore) {
    const std::uint8_t plain = plainLimit(codeCount), lowered = streamLimit(codeCount, codesBefore);
    return "with " + std::to_string(codeCount) + " codes and no phrase the stream's values stop at " +
           std::to_string(largestStreamValue(plain)) + ", below the character count " + std::to_string(codesBefore) +
           "; it is written with the one-byte limit " + std::to_string(lowered) + " instead of " +
           std::to_string(plain) + ", under which they reach " + std::to_string(largestStreamValue(lowered)) +
           ", so its bytes differ from the plain encoding's";
}

int encode8_1(std::vector<std::uint8_t>& destination, std::uint8_t limit, std::uint16_t v) {
    if (v < limit) {
        destination.push_back(static_cast<std::uint8_t>(v));
        return 1;
    }
    const unsigned d = v - limit;
    destination.push_back(static_cast<std::uint8_t>(limit + (d >> 7)));
    destination.push_back(static_cast<std::uint8_t>(d % 128));
    return 2;
}

namespace {

Result<std::vector<std::uint8_t>> encodeStream(std::span<const std::uint16_t> codeLines,
                                               std::int32_t phraseLines, std::uint16_t codesBefore,
                                               const GroupCounts& groupCounts, std::optional<std::uint8_t> given) {
    const std::uint32_t codeCount = getCodes16(codeLines);
    const auto lines = splitCodeLines(codeLines);
    if (const std::uint64_t needed = neededCodes(codeCount, codesBefore, phraseLines); needed > kLargestCodeCount)
        return fail("the texts need " + std::to_string(needed) +
                    " codes; the stream holds at most " + std::to_string(kLargestCodeCount) + "; " +
                    std::string(kSplitTheDeck));
    if (codeCount < 2)
        return fail("the texts need " + std::to_string(codeCount) +
                    " codes; the stream needs at least 2");
    if (phraseLines < 0 || static_cast<std::size_t>(phraseLines) > lines.size() ||
        lines.size() - static_cast<std::size_t>(phraseLines) < kGroupLines)
        return fail("fewer than 8 group texts before the phrase lines");

    const std::uint8_t own = streamLimit(codeCount, codesBefore);
    if (given && (*given < 1 || *given > own))
        return fail("the one-byte limit " + std::to_string(*given) + " lies outside 1 to " + std::to_string(own) +
                    ", the limits under which the stream's " + std::to_string(codeCount) + " codes fit");
    const std::uint8_t limit = given.value_or(own);
    KVZ_TRY(checkFits("the character count", codesBefore, limit, codeCount, kSplitTheDeck));
    KVZ_TRY(checkFits("the phrase count", static_cast<std::uint32_t>(phraseLines), limit, codeCount,
                      kSplitTheDeck));

    std::vector<std::uint8_t> bytes;
    bytes.reserve(codeLines.size() * 2 + 64);
    const StreamWriter writer{bytes, limit, codesBefore, codeCount};
    writer.writeValue(static_cast<std::uint16_t>(limit - 1));
    writer.writeValue(codesBefore);
    writer.writeValue(static_cast<std::uint16_t>(phraseLines));

    const std::size_t textLines = lines.size() - static_cast<std::size_t>(phraseLines);
    for (std::size_t k = lines.size(); k > textLines; --k) writer.writeLine(lines[k - 1]);

    KVZ_TRY(checkGroupValues(groupCounts, [&](const std::string& what, std::uint64_t value, std::string_view remedy) -> Status {
        return checkFits(what, value, limit, codeCount, remedy);
    }));
    std::uint64_t firstEntry = 0;
    for (std::size_t g = 0; g < kGroupLines; ++g) {
        writer.writeLine(lines[g]);
        writer.writeValue(static_cast<std::uint16_t>(firstEntry));
        writer.writeValue(static_cast<std::uint16_t>(groupCounts[g]));
        firstEntry += groupCounts[g];
    }
    for (std::size_t k = kGroupLines; k < textLines; ++k) writer.writeLine(lines[k]);
    return bytes;
}

}  // namespace

Result<std::vector<std::uint8_t>> encode8(std::span<const std::uint16_t> codeLines,
                                          std::int32_t phraseLines, std::uint16_t codesBefore,
                                          const GroupCounts& groupCounts) {
    return encodeStream(codeLines, phraseLines, codesBefore, groupCounts, std::nullopt);
}

Result<std::vector<std::uint8_t>> encode8(std::span<const std::uint16_t> codeLines,
                                          std::int32_t phraseLines, std::uint16_t codesBefore,
                                          const GroupCounts& groupCounts, std::uint8_t limit) {
    return encodeStream(codeLines, phraseLines, codesBefore, groupCounts, limit);
}

std::uint8_t groupTableLimit(const GroupCounts& groupCounts) {
    std::uint64_t largest = 0, firstEntry = 0;
    for (std::uint32_t count : groupCounts) {
        largest = std::max({largest, firstEntry, std::uint64_t{count}});
        firstEntry += count;
    }
    if (largest > 16383) return 0;
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(128, (16383 - largest) / 127));
}

}  // namespace kvz
