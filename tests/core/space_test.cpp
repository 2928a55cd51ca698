// The report of where an image's bytes go, checked against the image as
// the independent decoder reads it: every entry's and group's stream bytes,
// the header's and the phrase table's add up to the stream, the stream, the
// glyphs and the header to the image, and the characters only one entry
// uses are those the decoded texts show.
#include "core/space.h"
#include "core/split.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/layout.h"
#include "common/text.h"
#include "core/frontend.h"
#include "decode/decode.h"
#include "deck/deck_input.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes the device reads for a value and for a stored text.
struct DecodedWidths {
    std::uint8_t limit;
    std::uint64_t value(std::uint64_t v) const { return v < limit ? 1 : 2; }
    std::uint64_t text(const StoredText& text) const {
        std::uint64_t bytes = value(text.size());
        for (const std::uint16_t code : text) bytes += value(code);
        return bytes;
    }
};

std::set<std::uint16_t> charactersOf(const DecodedImage& image, const StoredText& text) {
    auto codes = expandText(image, text);
    EXPECT_TRUE(codes.ok()) << codes.reason();
    return codes.ok() ? std::set<std::uint16_t>(codes->begin(), codes->end()) : std::set<std::uint16_t>{};
}

// For every entry the characters no other entry and no group name uses.
std::vector<std::uint64_t> ownCharacters(const DecodedImage& image) {
    constexpr int kShared = -1;
    std::map<std::uint16_t, int> user;
    for (const DecodedGroup& group : image.groups)
        for (const std::uint16_t code : charactersOf(image, group.name)) user[code] = kShared;
    for (std::size_t e = 0; e < image.entries.size(); ++e) {
        std::set<std::uint16_t> used;
        for (const StoredText& text : image.entries[e]) used.merge(charactersOf(image, text));
        for (const std::uint16_t code : used) {
            auto [at, inserted] = user.emplace(code, static_cast<int>(e));
            if (!inserted) at->second = kShared;
        }
    }
    std::vector<std::uint64_t> own(image.entries.size(), 0);
    for (const auto& [code, entry] : user)
        if (entry != kShared) ++own[static_cast<std::size_t>(entry)];
    return own;
}

void expectFiguresAddUp(const SpaceReport& report) {
    std::uint64_t stream = report.headerValues + report.phraseTableValues;
    for (const GroupSpace& group : report.groups) stream += group.streamValues;
    EXPECT_EQ(stream, report.streamValues);
    EXPECT_EQ(report.streamBytes, packedSize(report.streamValues));
    // The bytes shown for the groups and the phrase table are the packed
    // stream's, which rounds up to whole groups of seven bytes.
    double shown = phraseTableImageBytes(report);
    for (const GroupSpace& group : report.groups) shown += groupImageBytes(group);
    EXPECT_LE(shown, static_cast<double>(report.streamBytes));
    EXPECT_GT(shown + static_cast<double>(kPackedGroupBytes), static_cast<double>(report.streamBytes));
    EXPECT_EQ(kImageHeaderSize + report.streamBytes + report.glyphBytes, report.imageBytes);
    std::uint64_t entries = 0;
    for (const GroupSpace& group : report.groups) entries += group.entries;
    EXPECT_EQ(entries, report.entries.size());
}

struct SpaceCase {
    const char* deck;
    Encoder encoder;
};

class Space : public ::testing::TestWithParam<SpaceCase> {};

TEST_P(Space, EntryAndGroupFiguresAddUpToTheDecodedStreamAndImage) {
    const KvzFile deck = testing::kvzFileOf(testing::bundledDeckBytes(GetParam().deck));
    auto conversion = convertKvz(deck, {}, GetParam().encoder);
    ASSERT_TRUE(conversion.ok()) << conversion.reason();
    const SpaceReport report = measureSpace(deck, *conversion);
    expectFiguresAddUp(report);
    EXPECT_EQ(report.imageBytes, conversion->image.size());

    auto image = decodeImage(conversion->image, kLoadAddress);
    ASSERT_TRUE(image.ok()) << image.reason();
    const DecodedWidths widths{image->limit};
    EXPECT_EQ(report.streamValues, image->streamValues);
    EXPECT_EQ(report.headerValues, widths.value(image->limit - 1u) + widths.value(image->codesBefore) +
                                       widths.value(image->phrases.size()));
    std::uint64_t phraseTable = 0;
    for (const StoredText& phrase : image->phrases) phraseTable += widths.text(phrase);
    EXPECT_EQ(report.phraseTableValues, phraseTable);
    EXPECT_EQ(report.phrases, image->phrases.size());
    EXPECT_EQ(report.characters, conversion->charTable.size());

    const std::vector<std::uint64_t> own = ownCharacters(*image);
    ASSERT_EQ(report.entries.size(), image->entries.size());
    std::uint64_t single = 0;
    for (std::size_t g = 0, e = 0; g < kGroupCount; ++g) {
        const DecodedGroup& group = image->groups[g];
        std::uint64_t groupValues = widths.text(group.name) + widths.value(group.firstEntry) + widths.value(group.entryCount);
        EXPECT_EQ(report.groups[g].entries, group.entryCount);
        for (std::size_t i = 0; i < group.entryCount; ++i, ++e) {
            std::uint64_t values = 0;
            for (const StoredText& text : image->entries[e]) values += widths.text(text);
            EXPECT_EQ(report.entries[e].group, static_cast<int>(g));
            EXPECT_EQ(report.entries[e].entry, static_cast<int>(i));
            EXPECT_EQ(report.entries[e].streamValues, values) << "group " << g << " entry " << i;
            EXPECT_EQ(report.entries[e].ownCharacters, own[e]) << "group " << g << " entry " << i;
            groupValues += values;
            single += own[e];
        }
        EXPECT_EQ(report.groups[g].streamValues, groupValues) << "group " << g;
    }
    EXPECT_EQ(report.singleEntryCharacters, single);
}

INSTANTIATE_TEST_SUITE_P(Core, Space,
                         ::testing::Values(SpaceCase{"example.kvz", Encoder::standard},
                                           SpaceCase{"sample.kvz", Encoder::standard},
                                           SpaceCase{"sample.kvz", Encoder::best},
                                           SpaceCase{"large.kvz", Encoder::standard},
                                           SpaceCase{"large.kvz", Encoder::best}));

TEST(Space, ADeckTooLargeIsReportedFromItsEncodingAndItsFiguresAddUp) {
    const KvzFile deck = testing::kvzFileOf(testing::randomKanjiDeck({100, 150, 0, 200, 100, 100, 150, 100}, 20, 3));
    auto encoded = encodeKvz(deck);
    ASSERT_TRUE(encoded.ok()) << encoded.reason();
    EXPECT_TRUE(encoded->image.empty());
    const SpaceReport report = measureSpace(deck, *encoded);
    expectFiguresAddUp(report);
    EXPECT_EQ(report.streamValues, encoded->stream.size());
    EXPECT_GT(report.imageBytes, kImageCapacity);
}

// A deck as TSV: group G0 of `entries` entries, each `entry`, the other
// groups empty but for `more` entries of G1.
KvzFile tsvDeck(std::size_t entries, const std::string& entry, std::size_t more = 0) {
    std::string tsv = "G0\n";
    for (std::size_t e = 0; e < entries; ++e) tsv += entry + "\n";
    tsv += "G1\n";
    for (std::size_t e = 0; e < more; ++e) tsv += entry + "\n";
    for (char g = '2'; g < '8'; ++g) tsv += {'G', g, '\n'};
    return testing::kvzFileOf(testing::deckFromTsv(tsv));
}

// 568 entries, 71 a group, each long field 116 A (65888 in all, too
// frequent) and short field 1 two kanji of their own: codes enough for a
// stream that holds the group table.
KvzFile tooFrequentWithManyCodes() {
    std::vector<std::uint8_t> file;
    for (int g = 0; g < 8; ++g) testing::appendRecord(file, testing::groupRecord(std::string{'G', static_cast<char>('0' + g)}, 71));
    const std::string longA(116, 'A');
    for (unsigned e = 0; e < 568; ++e) {
        std::string kanji;
        for (const unsigned k : {2 * e, 2 * e + 1}) {
            const unsigned trail = k % 188;
            kanji += static_cast<char>(0x89 + k / 188);
            kanji += static_cast<char>(trail < 63 ? 0x40 + trail : 0x41 + trail);
        }
        testing::appendRecord(file, testing::entryRecord({longA, kanji, "b", "c", "d", "e"}));
    }
    return testing::kvzFileOf(file);
}

TEST(Space, ADeckRefusedBeforeItsImageIsStillReported) {
    struct Case {
        const char* name;
        KvzFile deck;
        bool streamWritten;  // the refusal comes before the stream, or from it
    };
    const std::string longA(116, 'A');
    const std::vector<Case> cases = {
        {"character too frequent", tsvDeck(566, longA + "\ta\tb\tc\td\te"), false},
        {"character too frequent, the stream written", tooFrequentWithManyCodes(), true},
        {"group table no stream holds", tsvDeck(16257, "a\tb\tc\td\te\tf"), false},
        {"value too large for the stream", tsvDeck(100, "A\tB\tA\tB\tA\tB", 100), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto refused = packDeck(c.deck, PackOptions{});
        ASSERT_FALSE(refused.ok());
        ReportedEncoding encoded = encodeForReport(c.deck);
        ASSERT_TRUE(encoded.measured);
        ASSERT_FALSE(encoded.refusal.ok());
        EXPECT_EQ(encoded.refusal.reason(), refused.reason());
        EXPECT_TRUE(encoded.conversion.image.empty());
        EXPECT_EQ(encoded.conversion.stream.empty(), !c.streamWritten);
        const SpaceReport report = measureSpace(c.deck, encoded.conversion);
        expectFiguresAddUp(report);
        EXPECT_EQ(report.entries.size(), countEntries(c.deck));
        if (c.streamWritten) {
            EXPECT_EQ(report.streamValues, encoded.conversion.stream.size());
        }
        // The front ends' conversion refuses as packDeck does, and reports.
        DeckConversion conversion = convertDeck(c.deck, "deck", ConvertRequest{PackOptions{}, true, false});
        ASSERT_FALSE(conversion.images.ok());
        EXPECT_EQ(conversion.images.reason(), refused.reason());
        ASSERT_TRUE(conversion.report.has_value());
        EXPECT_EQ(conversion.report->imageBytes, report.imageBytes);
    }
}

TEST(Space, ASplitDeckIsReportedWholeAlsoWhereTheWholeDeckIsRefused) {
    // 65656 A in all: too frequent for one image, not for each part.
    const KvzFile deck = tsvDeck(566, std::string(116, 'A') + "\ta\tb\tc\td\te");
    DeckConversion conversion = convertDeck(deck, "deck", ConvertRequest{PackOptions{}, true, true});
    ASSERT_TRUE(conversion.images.ok()) << conversion.images.reason();
    EXPECT_GE(conversion.images->size(), 2u);
    ASSERT_TRUE(conversion.report.has_value());
    EXPECT_EQ(conversion.report->entries.size(), 566u);
}

TEST(Space, TheCostliestEntriesComeCostliestFirstAndEarlierOnesFirstAmongEqualCosts) {
    const KvzFile deck = testing::kvzFileOf(testing::bundledDeckBytes("large.kvz"));
    auto conversion = convertKvz(deck);
    ASSERT_TRUE(conversion.ok()) << conversion.reason();
    const SpaceReport report = measureSpace(deck, *conversion);
    const std::vector<EntrySpace> costliest = costliestEntries(report, 10);
    ASSERT_EQ(costliest.size(), 10u);
    const double least = entryCostBytes(costliest.back());
    std::size_t costlierElsewhere = 0;
    for (const EntrySpace& entry : report.entries) costlierElsewhere += entryCostBytes(entry) > least ? 1 : 0;
    EXPECT_LE(costlierElsewhere, 9u);
    for (std::size_t i = 1; i < costliest.size(); ++i) {
        const double before = entryCostBytes(costliest[i - 1]), now = entryCostBytes(costliest[i]);
        EXPECT_GE(before, now);
        if (before == now) {
            EXPECT_LT(std::make_pair(costliest[i - 1].group, costliest[i - 1].entry),
                      std::make_pair(costliest[i].group, costliest[i].entry));
        }
    }
}

// A whole number of packed groups takes exactly its packed size; between
// them the figure lies within one group of it.
TEST(Space, StreamImageBytesAreThePackedSizeOfWholeGroups) {
    for (const std::uint64_t values : {0ull, 1ull, 7ull, 8ull, 9ull, 800ull, 65535ull, 73192ull}) {
        const double bytes = streamImageBytes(values);
        EXPECT_LE(static_cast<double>(packedSize(values)) - bytes, 7.0) << values;
        EXPECT_GE(static_cast<double>(packedSize(values)), bytes) << values;
        if (values % 8 == 0) {
            EXPECT_EQ(bytes, static_cast<double>(packedSize(values))) << values;
        }
    }
}

TEST(Space, ImageSharesAreWordedToATenthOfAPercent) {
    const struct {
        double bytes;
        std::uint64_t imageBytes;
        const char* share;
    } cases[] = {
        {0, 0, "0.0%"},        {5, 0, "0.0%"},           {1, 3, "33.3%"},   {2, 3, "66.7%"},
        {64048, 64048, "100.0%"}, {70000, 64048, "109.3%"}, {0.875, 7, "12.5%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatImageShare(c.bytes, c.imageBytes), c.share) << c.bytes << " of " << c.imageBytes;
}

// The cells of a CSV row without quotes.
std::vector<std::string> cellsOf(const std::string& row) {
    const std::vector<std::string_view> cells = splitAt(row, ',');
    return {cells.begin(), cells.end()};
}

// A table's rows are gathered by lesson into the deck's groups, so an
// entry's place is not its row's: each entry named in the report has the
// word and the lesson of the row its input line names.
TEST(Space, EntriesAreNamedByTheirWordAndTheLineOfTheTableThatHoldsThem) {
    const std::vector<std::string> rows = {
        "lesson,word,reading,meaning", "動物,犬,いぬ,dog",   "鳥類,鶏,にわとり,chicken",
        "動物,猫,ねこ,cat",           "魚類,鮭,さけ,salmon", "鳥類,鴨,かも,duck",
        "動物,馬,うま,horse"};
    std::string csv;
    for (const std::string& row : rows) csv += row + "\r\n";
    DeckInputOptions options;
    options.fileName = "animals.csv";
    options.namedColumns = {{"word", ColumnRole::short1}, {"reading", ColumnRole::short2},
                            {"meaning", ColumnRole::short4}, {"lesson", ColumnRole::group}};
    const Result<DeckInput> input = readDeckInput(csv, options);
    ASSERT_TRUE(input.ok()) << input.reason();
    ASSERT_FALSE(input->check.kvz.empty());
    ASSERT_EQ(input->check.entryLines.size(), rows.size() - 1);

    const KvzFile deck = testing::kvzFileOf(input->check.kvz);
    auto conversion = convertKvz(deck);
    ASSERT_TRUE(conversion.ok()) << conversion.reason();
    SpaceReport report = measureSpace(deck, *conversion);
    addInputLines(report, input->check.entryLines);
    std::set<std::size_t> lines;
    for (const EntrySpace& entry : report.entries) {
        ASSERT_GE(entry.inputLine, 2u);
        ASSERT_LE(entry.inputLine, rows.size());
        const std::vector<std::string> cells = cellsOf(rows[entry.inputLine - 1]);
        EXPECT_EQ(entry.word, cells[1]) << "line " << entry.inputLine;
        EXPECT_EQ(report.groups[static_cast<std::size_t>(entry.group)].name, cells[0]) << "line " << entry.inputLine;
        EXPECT_EQ(describeCostlyEntry(entry), "group " + std::to_string(entry.group) + " entry " +
                                                  std::to_string(entry.entry) + " (" + cells[1] + ", line " +
                                                  std::to_string(entry.inputLine) + ")");
        lines.insert(entry.inputLine);
    }
    EXPECT_EQ(lines.size(), rows.size() - 1) << "every row an entry of its own";
}

// A stored text is named with the characters it shows; a code with no
// printable character by its code.
TEST(Space, StoredTextsAreNamedAsTheyRead) {
    const struct {
        std::string stored;
        const char* named;
    } cases[] = {
        {"\x94\x4C", "猫"},
        {"\x82\x60\x82\x61", "ＡＢ"},
        {"\xF0\x40\x94\x4C", "[0xF040]猫"},
        {std::string("\x01x", 2), "[0x01]x"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(c.stored.data()), c.stored.size());
        EXPECT_EQ(readableStoredText(bytes), c.named) << c.named;
    }
}

}  // namespace
}  // namespace kvz
