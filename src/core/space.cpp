#include "core/space.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

#include "common/layout.h"
#include "common/text.h"
#include "compress/compress.h"
#include "deck/deck.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

constexpr std::size_t kTextsPerEntry = 6;
constexpr double kImageBytesPerValue = 7.0 / 8.0;

// The most codes a stream holds: the one-byte limit is 1 there.
constexpr std::uint32_t kMostCodes = 16257;

// The stream bytes that values and lines take, as encode8 writes them.
class StreamWidths {
public:
    // Texts that need more codes than any stream holds (a deck refused) are
    // counted at the limit of the most codes a stream holds.
    explicit StreamWidths(const Conversion& conversion)
        : codes_(getCodes16(conversion.codeLines)),
          codesBefore_(conversion.codesBefore),
          limit_(limitOf(conversion)) {}

    std::uint8_t limit() const { return limit_; }
    std::uint64_t value(std::uint64_t v) const { return v < limit_ ? 1 : 2; }

    // The length word and every code, phrase codes renumbered as written.
    std::uint64_t line(std::span<const std::uint16_t> line) const {
        std::uint64_t values = 0;
        for (const std::uint16_t word : line) values += value(written(word));
        return values;
    }

private:
    // The header's first value is B - 1: the stream tells its own limit
    // (--best may write it below the one its codes give).
    static std::uint8_t limitOf(const Conversion& conversion) {
        if (!conversion.stream.empty()) return static_cast<std::uint8_t>(conversion.stream.front() + 1);
        const std::uint32_t codes = std::min(getCodes16(conversion.codeLines), kMostCodes);
        return streamLimit(codes, static_cast<std::uint16_t>(conversion.codesBefore));
    }

    std::uint16_t written(std::uint16_t word) const {
        if (word < codesBefore_) return word;
        return static_cast<std::uint16_t>(codes_ - word + codesBefore_ - 1);
    }

    std::uint32_t codes_;
    std::uint32_t codesBefore_;
    std::uint8_t limit_;
};

// For every entry in file order, how many characters only it uses: no other
// entry, and no group name.
std::vector<std::uint64_t> ownCharactersOfEntries(const KvzFile& deck, std::size_t entries,
                                                  std::uint64_t& singleEntryCharacters) {
    constexpr std::int64_t kUnseen = -1, kShared = -2;
    std::vector<std::int64_t> user(1 << 16, kUnseen);  // code -> the entry using it
    std::int64_t current = kShared;                     // group names count as shared
    std::size_t text = 0;
    forEachCharacter(
        deck.textBlock,
        [&](CharCode code) {
            std::int64_t& seen = user[static_cast<std::uint16_t>(code[0] << 8 | code[1])];
            if (seen == kUnseen)
                seen = current;
            else if (seen != current)
                seen = kShared;
        },
        [&](std::size_t) {
            ++text;
            current = text < kGroupCount ? kShared : static_cast<std::int64_t>((text - kGroupCount) / kTextsPerEntry);
        });
    std::vector<std::uint64_t> own(entries, 0);
    singleEntryCharacters = 0;
    for (const std::int64_t entry : user) {
        if (entry < 0 || static_cast<std::size_t>(entry) >= entries) continue;
        ++own[static_cast<std::size_t>(entry)];
        ++singleEntryCharacters;
    }
    return own;
}

// Every text of the block in file order: 8 group names, then six texts
// per entry (and the empty text that ends the block).
std::vector<std::span<const std::uint8_t>> textsOf(const TextBlock& block) {
    std::vector<std::span<const std::uint8_t>> texts;
    for (std::size_t start = 0; start < block.size();) {
        std::size_t end = start;
        while (end < block.size() && block[end] != 0) ++end;
        texts.push_back(std::span(block).subspan(start, end - start));
        start = end + 1;
    }
    return texts;
}

std::string roundedBytes(double bytes) {
    return plural(static_cast<std::size_t>(std::llround(bytes)), "byte", "bytes");
}

double averageEntryCost(const SpaceReport& report) {
    double total = 0;
    for (const EntrySpace& entry : report.entries) total += entryCostBytes(entry);
    return report.entries.empty() ? 0.0 : total / static_cast<double>(report.entries.size());
}

std::string distanceToTheLimit(const SpaceReport& report) {
    const double average = averageEntryCost(report);
    if (report.imageBytes <= kImageCapacity) {
        const std::uint64_t left = kImageCapacity - report.imageBytes;
        std::string line = plural(left, "byte", "bytes") + " left";
        if (average > 0)
            line += ": about " + std::to_string(static_cast<std::uint64_t>(std::floor(static_cast<double>(left) / average))) +
                    " more entries of this size fit";
        return line;
    }
    const std::uint64_t over = report.imageBytes - kImageCapacity;
    std::string line = "over by " + plural(over, "byte", "bytes");
    if (average > 0)
        line += ": about " + std::to_string(static_cast<std::uint64_t>(std::ceil(static_cast<double>(over) / average))) +
                " entries";
    return line;
}

}  // namespace

std::string describeCostlyEntry(const EntrySpace& entry) {
    std::string named = "group " + std::to_string(entry.group) + " entry " + std::to_string(entry.entry) + " (" +
                        entry.word;
    if (entry.inputLine > 0) named += ", line " + std::to_string(entry.inputLine);
    return named + ")";
}

SpaceReport measureSpace(const KvzFile& deck, const Conversion& conversion) {
    SpaceReport report;
    report.encoder = conversion.encoder;
    const StreamWidths widths(conversion);
    const auto lines = splitCodeLines(conversion.codeLines);
    const std::size_t textLines = std::min<std::size_t>(conversion.linesBefore, lines.size());

    report.headerValues = widths.value(widths.limit() - 1u) +
                          widths.value(conversion.codesBefore) + widths.value(lines.size() - textLines);
    report.phrases = lines.size() - textLines;
    for (std::size_t k = textLines; k < lines.size(); ++k) report.phraseTableValues += widths.line(lines[k]);

    const std::vector<std::span<const std::uint8_t>> texts = textsOf(deck.textBlock);
    for (std::size_t g = 0; g < kGroupCount && g < texts.size(); ++g) report.groups[g].name = readableStoredText(texts[g]);
    std::uint64_t firstEntry = 0;
    for (std::size_t g = 0; g < kGroupCount && g < textLines; ++g) {
        report.groups[g].entries = deck.groupCounts[g];
        report.groups[g].streamValues =
            widths.line(lines[g]) + widths.value(firstEntry) + widths.value(deck.groupCounts[g]);
        firstEntry += deck.groupCounts[g];
    }
    const std::size_t entries = textLines > kGroupCount ? (textLines - kGroupCount) / kTextsPerEntry : 0;
    const std::vector<std::uint64_t> own = ownCharactersOfEntries(deck, entries, report.singleEntryCharacters);
    report.entries.reserve(entries);
    std::size_t group = 0, inGroup = 0;
    for (std::size_t e = 0; e < entries; ++e) {
        while (group < kGroupCount && inGroup >= deck.groupCounts[group]) {
            ++group;
            inGroup = 0;
        }
        EntrySpace entry{static_cast<int>(group), static_cast<int>(inGroup), 0, own[e], {}, 0};
        const std::size_t word = kGroupCount + kTextsPerEntry * e + 1;
        if (word < texts.size()) entry.word = readableStoredText(texts[word]);
        for (std::size_t t = 0; t < kTextsPerEntry; ++t)
            entry.streamValues += widths.line(lines[kGroupCount + kTextsPerEntry * e + t]);
        if (group < kGroupCount) report.groups[group].streamValues += entry.streamValues;
        report.entries.push_back(entry);
        ++inGroup;
    }
    // Counted from the lines rather than taken from the stream, which a
    // deck refused before it was written does not have.
    report.streamValues = report.headerValues + report.phraseTableValues;
    for (const GroupSpace& g : report.groups) report.streamValues += g.streamValues;
    report.characters = conversion.charTable.size();
    report.streamBytes = packedSize(report.streamValues);
    report.glyphBytes = packedSize(kCellWidth * conversion.charTable.size());
    report.imageBytes = imageSizeFor(report.streamValues, conversion.charTable.size());
    return report;
}

void addInputLines(SpaceReport& report, std::span<const std::size_t> entryLines) {
    for (std::size_t e = 0; e < report.entries.size() && e < entryLines.size(); ++e)
        report.entries[e].inputLine = entryLines[e];
}

double groupImageBytes(const GroupSpace& group) { return streamImageBytes(group.streamValues); }

double phraseTableImageBytes(const SpaceReport& report) {
    return streamImageBytes(report.phraseTableValues + report.headerValues);
}

double entryCostBytes(const EntrySpace& entry) {
    return streamImageBytes(entry.streamValues + kCellWidth * entry.ownCharacters);
}

double streamImageBytes(std::uint64_t streamValues) {
    return static_cast<double>(streamValues) * kImageBytesPerValue;
}

double imageSharePercent(double bytes, std::uint64_t imageBytes) {
    return imageBytes == 0 ? 0.0 : 100.0 * bytes / static_cast<double>(imageBytes);
}

std::string formatImageShare(double bytes, std::uint64_t imageBytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", imageSharePercent(bytes, imageBytes));
    return text;
}

std::vector<EntrySpace> costliestEntries(const SpaceReport& report, std::size_t count) {
    std::vector<EntrySpace> entries = report.entries;
    const auto costlier = [](const EntrySpace& a, const EntrySpace& b) {
        return entryCostBytes(a) > entryCostBytes(b);
    };
    count = std::min(count, entries.size());
    std::partial_sort(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(count), entries.end(),
                      [&](const EntrySpace& a, const EntrySpace& b) {
                          if (costlier(a, b) || costlier(b, a)) return costlier(a, b);
                          return a.group != b.group ? a.group < b.group : a.entry < b.entry;
                      });
    entries.resize(count);
    return entries;
}

std::string describeGroupPart(const SpaceReport& report, std::size_t group) {
    return "group " + std::to_string(group) + " (" + report.groups[group].name + ")";
}

std::string describePhraseTablePart(const SpaceReport& report) {
    return "phrase table (" + plural(report.phrases, "phrase", "phrases") + ") and stream header";
}

std::string describeGlyphsPart(const SpaceReport& report) {
    return "glyphs (" + plural(report.characters, "character", "characters") + ")";
}

std::string describeGlyphUse(const SpaceReport& report) {
    return "for " + plural(report.characters, "character", "characters") + "; " +
           std::to_string(report.singleEntryCharacters) + " used by a single entry only";
}

std::vector<std::string> formatSpaceReport(const std::string& file, const SpaceReport& report) {
    std::vector<std::string> lines;
    const std::uint64_t image = report.imageBytes;
    lines.push_back(file + ": where the image's " + plural(image, "byte", "bytes") + " go, with " +
                    (report.encoder == Encoder::best ? "--best" : "the default encoding") + ":");
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const double bytes = groupImageBytes(report.groups[g]);
        lines.push_back("  " + describeGroupPart(report, g) + ": " + plural(report.groups[g].entries, "entry", "entries") +
                        ", stream " + roundedBytes(bytes) + ", " + formatImageShare(bytes, image) + " of the image");
    }
    const double table = phraseTableImageBytes(report);
    lines.push_back("  " + describePhraseTablePart(report) + ": " + roundedBytes(table) + ", " +
                    formatImageShare(table, image) + " of the image");
    lines.push_back("  glyphs: " + plural(report.glyphBytes, "byte", "bytes") + ", " +
                    formatImageShare(static_cast<double>(report.glyphBytes), image) + " of the image, " +
                    describeGlyphUse(report));
    const std::vector<EntrySpace> costliest = costliestEntries(report, kCostliestShown);
    if (!costliest.empty()) {
        lines.push_back("  costliest entries:");
        for (const EntrySpace& entry : costliest)
            lines.push_back("    " + describeCostlyEntry(entry) + ": " + roundedBytes(entryCostBytes(entry)));
    }
    lines.push_back("  " + distanceToTheLimit(report));
    return lines;
}

}  // namespace kvz
