// The refusal of an image too large for the device: its figures (the
// image's size, how many entries fit, whether --best makes them all fit),
// each checked against conversions made here, for the default encoding and
// for --best.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <string>

#include "core/convert.h"
#include "core/split.h"
#include "glyph/glyph.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Characters = std::vector<std::string>;

Characters charactersOf(const std::string& text) {
    Characters characters;
    for (unsigned char byte : text) {
        if ((byte & 0xC0) != 0x80 || characters.empty()) characters.emplace_back();
        characters.back() += static_cast<char>(byte);
    }
    return characters;
}

std::string joined(const Characters& characters) {
    std::string text;
    for (const std::string& c : characters) text += c;
    return text;
}

std::string reversed(const std::string& text) {
    Characters characters = charactersOf(text);
    std::reverse(characters.begin(), characters.end());
    return joined(characters);
}

// The second half first, without spaces at either end (the text itself when
// nothing else is left).
std::string rotated(const std::string& text) {
    Characters characters = charactersOf(text);
    std::rotate(characters.begin(), characters.begin() + static_cast<std::ptrdiff_t>(characters.size() / 2),
                characters.end());
    auto isSpace = [](const std::string& c) { return c == " " || c == "\u3000"; };
    while (!characters.empty() && isSpace(characters.back())) characters.pop_back();
    while (!characters.empty() && isSpace(characters.front())) characters.erase(characters.begin());
    return characters.empty() ? text : joined(characters);
}

template <class Change>
std::string changedFields(const std::string& line, Change change) {
    std::string result;
    std::size_t from = 0;
    for (std::size_t tab = line.find('\t');; tab = line.find('\t', from)) {
        result += change(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) return result;
        result += '\t';
        from = tab + 1;
    }
}

// large.tsv grown past the device: behind each group's entries come the
// same entries with every field reversed, then the first `rotatedPercent`
// percent of them with every field's halves swapped. Only the first
// `entries` entries in file order are kept (all when negative).
std::string grownLargeDeck(int rotatedPercent, int entries = -1) {
    const std::string tsv = testing::readFileText(testing::sourcePath("examples/large.tsv"));
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const std::string& line : testing::splitLines(tsv)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.find('\t') == std::string::npos)
            groups.push_back({line, {}});
        else
            groups.back().second.push_back(line);
    }
    std::string result;
    int kept = 0;
    for (const auto& [name, lines] : groups) {
        result += name + "\n";
        std::vector<std::string> all = lines;
        for (const std::string& line : lines) all.push_back(changedFields(line, reversed));
        const std::size_t rotatedCount = lines.size() * static_cast<std::size_t>(rotatedPercent) / 100;
        for (std::size_t i = 0; i < rotatedCount; ++i) {
            const std::string line = changedFields(lines[i], rotated);
            if (line[0] != '#') all.push_back(line);
        }
        for (const std::string& line : all)
            if (entries < 0 || kept++ < entries) result += line + "\n";
    }
    return result;
}

std::size_t entryLines(const std::string& tsv) {
    std::size_t count = 0;
    for (const std::string& line : testing::splitLines(tsv)) {
        if (line.find('\t') != std::string::npos) ++count;
    }
    return count;
}

// Group 0 with `entries` entries whose long fields hold 58 random kanji
// each (a seeded sequence: a deck of fewer entries is the start of one with
// more); group names and short fields are single letters. Hardly anything
// repeats, so that the phrase search has little to do; from about 700
// entries on the image is too large for the device.
Bytes randomKanjiDeck(int entries) {
    Bytes deck;
    testing::appendRecord(deck, testing::groupRecord("G0", static_cast<std::uint16_t>(entries)));
    for (int g = 1; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("G", 0));
    std::uint32_t state = 12345;
    for (int e = 0; e < entries; ++e) {
        std::string text;
        for (int c = 0; c < 58; ++c) {
            state = state * 1103515245u + 12345u;
            const unsigned k = (state >> 8) % (15 * 188);  // leads 0x89 to 0x97: assigned kanji
            text += static_cast<char>(0x89 + k / 188);
            text += static_cast<char>(0x40 + (k % 188 < 63 ? k % 188 : k % 188 + 1));
        }
        testing::appendRecord(deck, testing::entryRecord({text, "a", "b", "c", "d", "e"}));
    }
    return deck;
}

std::uint16_t groupCount(const Bytes& deck, std::size_t group) {
    return static_cast<std::uint16_t>(deck[group * kRecordSize + 18] | deck[group * kRecordSize + 19] << 8);
}

void setGroupCount(Bytes& deck, std::size_t group, std::size_t count) {
    deck[group * kRecordSize + 18] = static_cast<std::uint8_t>(count & 0xFF);
    deck[group * kRecordSize + 19] = static_cast<std::uint8_t>(count >> 8);
}

// The deck's first `entries` entry records, the group counts cut to match.
Bytes firstRecords(Bytes deck, std::size_t entries) {
    std::size_t left = entries;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const std::size_t kept = std::min<std::size_t>(left, groupCount(deck, g));
        setGroupCount(deck, g, kept);
        left -= kept;
    }
    deck.resize(kGroupRecordsSize + (entries - left) * kRecordSize);
    return deck;
}

// large.kvz with 250 entries of random kanji in front of its own: they give
// the image most of its size at little cost to the phrase search, and the
// device's limit falls among large.kvz's entries, whose texts repeat.
constexpr std::size_t kKanjiInFront = 250;

Bytes kanjiThenLargeDeck() {
    const Bytes large = testing::readFileBytes(testing::sourcePath("examples/large.kvz"));
    const Bytes kanji = randomKanjiDeck(static_cast<int>(kKanjiInFront));
    Bytes deck(large.begin(), large.begin() + kGroupRecordsSize);
    deck.insert(deck.end(), kanji.begin() + kGroupRecordsSize, kanji.end());
    deck.insert(deck.end(), large.begin() + kGroupRecordsSize, large.end());
    setGroupCount(deck, 0, groupCount(large, 0) + kKanjiInFront);
    return deck;
}

// A deck and its first entries: the whole deck for a negative count.
using DeckCut = std::function<KvzFile(int entries)>;

DeckCut grownLargeCut(int rotatedPercent) {
    return [rotatedPercent](int entries) {
        return testing::kvzFileOf(testing::deckFromTsv(grownLargeDeck(rotatedPercent, entries)));
    };
}

DeckCut recordsCut(const Bytes& deck) {
    return [deck](int entries) {
        return testing::kvzFileOf(entries < 0 ? deck : firstRecords(deck, static_cast<std::size_t>(entries)));
    };
}

std::uint64_t imageBytes(const KvzFile& deck, Encoder encoder) {
    auto sizes = measureImage(deck, encoder);
    if (!sizes) throw std::runtime_error(sizes.reason());
    return sizes->imageBytes;
}

struct Refusal {
    std::uint64_t imageBytes = 0;
    std::size_t fitting = 0;
    std::size_t entries = 0;
    std::string rest;
};

// The conversion's refusal, in figures.
Refusal refusalOf(const KvzFile& deck, Encoder encoder) {
    static const std::regex reason(
        R"(image of (\d+) bytes exceeds the device's 64048 bytes; the first (\d+) of (\d+) entries fit(.*))");
    auto converted = convertKvz(deck, {}, encoder);
    if (converted) throw std::runtime_error("the deck converts");
    std::smatch match;
    if (!std::regex_match(converted.reason(), match, reason))
        throw std::runtime_error("not the refusal: " + converted.reason());
    return {std::stoull(match[1]), std::stoul(match[2]), std::stoul(match[3]), match[4]};
}

// The figures are those of conversions made here: the whole deck's image
// size, its `entries`, and a cut deck of the entries said to fit that does
// fit. The default's figure is the exact boundary: one entry more does not
// fit. --best searches for its figure within a share of its budget, so a
// few entries more may fit too; its figure is never below the default's.
void expectFiguresTrue(const Refusal& refusal, const DeckCut& deck, std::size_t entries, Encoder encoder) {
    EXPECT_EQ(refusal.imageBytes, imageBytes(deck(-1), encoder));
    EXPECT_EQ(refusal.entries, entries);
    const auto fitting = static_cast<int>(refusal.fitting);
    EXPECT_LE(imageBytes(deck(fitting), encoder), kImageCapacity);
    if (encoder == Encoder::standard)
        EXPECT_GT(imageBytes(deck(fitting + 1), encoder), kImageCapacity);
    else
        EXPECT_GE(refusal.fitting, entriesThatFit(deck(-1), Encoder::standard));
}

// With 60% rotated copies the default image is too large and --best's is
// not; with all of them, both are too large.
constexpr int kBestFits = 60;
constexpr int kNothingFits = 100;

class TooLargeRefusal : public ::testing::TestWithParam<int> {};

TEST_P(TooLargeRefusal, SaysHowManyEntriesFitAndWhetherBestMakesAllFit) {
    const int rotatedPercent = GetParam();
    const DeckCut deck = grownLargeCut(rotatedPercent);
    const Refusal refusal = refusalOf(deck(-1), Encoder::standard);
    expectFiguresTrue(refusal, deck, entryLines(grownLargeDeck(rotatedPercent)), Encoder::standard);
    const bool bestFits = imageBytes(deck(-1), Encoder::best) <= kImageCapacity;
    EXPECT_EQ(bestFits, rotatedPercent == kBestFits);
    EXPECT_EQ(refusal.rest, bestFits ? "; with --best all of them fit" : "; not all of them fit with --best either");
}

INSTANTIATE_TEST_SUITE_P(RotatedCopies, TooLargeRefusal, ::testing::Values(kBestFits, kNothingFits));

// Real phrases: the figure of --best lies past the default's, and is true.
TEST(TooLargeRefusalWithBest, GivesTheFiguresOfBestOnADeckWithPhrases) {
    const Bytes bytes = kanjiThenLargeDeck();
    const DeckCut deck = recordsCut(bytes);
    const Refusal refusal = refusalOf(deck(-1), Encoder::best);
    EXPECT_EQ(refusal.rest, "");
    expectFiguresTrue(refusal, deck, (bytes.size() - kGroupRecordsSize) / kRecordSize, Encoder::best);
    EXPECT_GT(refusal.fitting, kKanjiInFront) << "the limit falls among the entries with phrases";
    EXPECT_GT(imageBytes(deck(static_cast<int>(refusal.fitting)), Encoder::standard), kImageCapacity)
        << "the figure is --best's own: that many entries do not fit without it";
}

// Eight copies of the large deck's entries, shuffled: far past the device,
// and full of repeats that keep --best searching until its budget stops it.
class RefusalOfRepeatedEntries : public ::testing::TestWithParam<Encoder> {};

TEST_P(RefusalOfRepeatedEntries, GivesTrueFigures) {
    const Encoder encoder = GetParam();
    const Bytes bytes = testing::repeatedEntries(testing::bundledDeckBytes("large.kvz"), 8, 1);
    const DeckCut deck = recordsCut(bytes);
    const Refusal refusal = refusalOf(deck(-1), encoder);
    expectFiguresTrue(refusal, deck, countEntries(deck(-1)), encoder);
    EXPECT_EQ(refusal.rest, encoder == Encoder::best ? "" : "; not all of them fit with --best either");
}

INSTANTIATE_TEST_SUITE_P(Encoders, RefusalOfRepeatedEntries, ::testing::Values(Encoder::standard, Encoder::best),
                         [](const auto& info) { return info.param == Encoder::best ? "best" : "standard"; });

// Random kanji make --best quick: little repeats.
TEST(TooLargeRefusalWithBest, GivesTheFiguresOfBest) {
    constexpr int kEntries = 1000;
    const DeckCut deck = [](int entries) { return testing::kvzFileOf(randomKanjiDeck(entries < 0 ? kEntries : entries)); };
    const Refusal refusal = refusalOf(deck(-1), Encoder::best);
    EXPECT_EQ(refusal.rest, "");
    expectFiguresTrue(refusal, deck, kEntries, Encoder::best);
}

}  // namespace
}  // namespace kvz
