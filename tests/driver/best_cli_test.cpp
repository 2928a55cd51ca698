// --best and the refusal of an image too large for the device, as users
// see them: the option's outputs and summary line, and the refusal's
// figures, each checked against conversions made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "cli_support.h"
#include "core/convert.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

namespace fs = std::filesystem;
using cli_testing::kvzpack;
using cli_testing::messages;
using testing::ProcessResult;
using testing::TempDir;

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

std::uint64_t imageBytes(const std::string& tsv, Encoder encoder) {
    auto deck = readKvzBytes(testing::deckFromTsv(tsv));
    if (!deck) throw std::runtime_error(deck.reason());
    auto sizes = measureImage(*deck, encoder);
    if (!sizes) throw std::runtime_error(sizes.reason());
    return sizes->imageBytes;
}

struct Refusal {
    std::uint64_t imageBytes = 0;
    std::size_t fitting = 0;
    std::size_t entries = 0;
    std::string rest;
};

Refusal parseRefusal(const std::string& err) {
    static const std::regex line(
        R"(kvzpack: grown\.kvz: image of (\d+) bytes exceeds the device's 64048 bytes; the first (\d+) of (\d+) entries fit(.*)\n)");
    std::smatch match;
    if (!std::regex_match(err, match, line)) throw std::runtime_error("not the refusal: " + err);
    return {std::stoull(match[1]), std::stoul(match[2]), std::stoul(match[3]), match[4]};
}

// The figures are those of conversions made here: the whole deck's image
// size, and the first cut deck that no longer fits.
void expectFiguresTrue(const Refusal& refusal, int rotatedPercent, Encoder encoder) {
    EXPECT_EQ(refusal.imageBytes, imageBytes(grownLargeDeck(rotatedPercent), encoder));
    EXPECT_EQ(refusal.entries, entryLines(grownLargeDeck(rotatedPercent)));
    const auto fitting = static_cast<int>(refusal.fitting);
    EXPECT_LE(imageBytes(grownLargeDeck(rotatedPercent, fitting), encoder), kImageCapacity);
    EXPECT_GT(imageBytes(grownLargeDeck(rotatedPercent, fitting + 1), encoder), kImageCapacity);
}

// With 60% rotated copies the default image is too large and --best's is
// not; with all of them, both are too large.
constexpr int kBestFits = 60;
constexpr int kNothingFits = 100;

class TooLargeRefusal : public ::testing::TestWithParam<int> {};

TEST_P(TooLargeRefusal, SaysHowManyEntriesFitAndWhetherBestMakesAllFit) {
    const int rotatedPercent = GetParam();
    TempDir dir;
    testing::writeFile(dir / "grown.kvz", testing::deckFromTsv(grownLargeDeck(rotatedPercent)));
    const ProcessResult run = kvzpack(dir, {"grown.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    const Refusal refusal = parseRefusal(messages(run.err));
    expectFiguresTrue(refusal, rotatedPercent, Encoder::standard);
    const bool bestFits = imageBytes(grownLargeDeck(rotatedPercent), Encoder::best) <= kImageCapacity;
    EXPECT_EQ(bestFits, rotatedPercent == kBestFits);
    EXPECT_EQ(refusal.rest, bestFits ? "; with --best all of them fit" : "; not all of them fit with --best either");
    EXPECT_FALSE(fs::exists(dir / "grown.ihx"));
    if (bestFits) {
        const ProcessResult best = kvzpack(dir, {"--best", "grown.kvz"});
        EXPECT_EQ(best.exitStatus, 0) << best.err;
        EXPECT_TRUE(fs::exists(dir / "grown.ihx"));
    }
}

INSTANTIATE_TEST_SUITE_P(RotatedCopies, TooLargeRefusal, ::testing::Values(kBestFits, kNothingFits));

// Real phrases: the search for the entries that fit --best converts cut
// decks within a share of the budget, so its count is true for --best
// (those entries fit), more than the default fits, though a few entries more
// may fit too.
TEST(TooLargeRefusalWithBest, GivesTheFiguresOfBestOnADeckWithPhrases) {
    TempDir dir;
    testing::writeFile(dir / "grown.kvz", testing::deckFromTsv(grownLargeDeck(kNothingFits)));
    const ProcessResult run = kvzpack(dir, {"--best", "grown.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    const Refusal refusal = parseRefusal(messages(run.err));
    EXPECT_EQ(refusal.rest, "");
    EXPECT_EQ(refusal.imageBytes, imageBytes(grownLargeDeck(kNothingFits), Encoder::best));
    EXPECT_EQ(refusal.entries, entryLines(grownLargeDeck(kNothingFits)));
    const std::string fitting = grownLargeDeck(kNothingFits, static_cast<int>(refusal.fitting));
    EXPECT_LE(imageBytes(fitting, Encoder::best), kImageCapacity);
    auto deck = readKvzBytes(testing::deckFromTsv(grownLargeDeck(kNothingFits)));
    ASSERT_TRUE(deck.ok()) << deck.reason();
    EXPECT_GT(refusal.fitting, entriesThatFit(*deck, Encoder::standard));
    EXPECT_FALSE(fs::exists(dir / "grown.ihx"));
}

std::uint64_t imageBytesOf(const KvzFile& deck, Encoder encoder) {
    auto sizes = measureImage(deck, encoder);
    if (!sizes) throw std::runtime_error(sizes.reason());
    return sizes->imageBytes;
}

// Eight copies of the large deck's entries, shuffled: far past the device,
// and full of repeats that keep --best searching until its budget stops it.
// The default's figures are exact; --best's are true, and more than the
// default's.
class RefusalOfRepeatedEntries : public ::testing::TestWithParam<Encoder> {};

TEST_P(RefusalOfRepeatedEntries, GivesTrueFigures) {
    const Encoder encoder = GetParam();
    const std::vector<std::uint8_t> bytes = testing::repeatedEntries(testing::bundledDeckBytes("large.kvz"), 8, 1);
    auto deck = readKvzBytes(bytes);
    ASSERT_TRUE(deck.ok()) << deck.reason();
    TempDir dir;
    testing::writeFile(dir / "grown.kvz", bytes);
    std::vector<std::string> arguments{"grown.kvz"};
    if (encoder == Encoder::best) arguments.insert(arguments.begin(), "--best");
    const ProcessResult run = kvzpack(dir, arguments);
    EXPECT_EQ(run.exitStatus, 1);
    const Refusal refusal = parseRefusal(messages(run.err));
    EXPECT_EQ(refusal.imageBytes, imageBytesOf(*deck, encoder));
    EXPECT_EQ(refusal.entries, countEntries(*deck));
    EXPECT_LE(imageBytesOf(firstEntries(*deck, refusal.fitting), encoder), kImageCapacity);
    if (encoder == Encoder::standard) {
        EXPECT_GT(imageBytesOf(firstEntries(*deck, refusal.fitting + 1), encoder), kImageCapacity);
        EXPECT_GT(imageBytesOf(*deck, Encoder::best), kImageCapacity);
        EXPECT_EQ(refusal.rest, "; not all of them fit with --best either");
    } else {
        EXPECT_GT(refusal.fitting, entriesThatFit(*deck, Encoder::standard));
        EXPECT_EQ(refusal.rest, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, RefusalOfRepeatedEntries, ::testing::Values(Encoder::standard, Encoder::best),
                         [](const auto& info) { return info.param == Encoder::best ? "best" : "standard"; });

std::uint64_t randomKanjiImageBytes(int entries, Encoder encoder) {
    auto deck = readKvzBytes(cli_testing::randomKanjiDeck(entries));
    if (!deck) throw std::runtime_error(deck.reason());
    auto sizes = measureImage(*deck, encoder);
    if (!sizes) throw std::runtime_error(sizes.reason());
    return sizes->imageBytes;
}

// Random kanji make --best quick: little repeats.
TEST(TooLargeRefusalWithBest, GivesTheFiguresOfBest) {
    const int entries = 1000;
    TempDir dir;
    testing::writeFile(dir / "grown.kvz", cli_testing::randomKanjiDeck(entries));
    const ProcessResult run = kvzpack(dir, {"--best", "grown.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    const Refusal refusal = parseRefusal(messages(run.err));
    EXPECT_EQ(refusal.rest, "");
    EXPECT_EQ(refusal.entries, static_cast<std::size_t>(entries));
    EXPECT_EQ(refusal.imageBytes, randomKanjiImageBytes(entries, Encoder::best));
    const auto fitting = static_cast<int>(refusal.fitting);
    EXPECT_LE(randomKanjiImageBytes(fitting, Encoder::best), kImageCapacity);
    EXPECT_GT(randomKanjiImageBytes(fitting + 1, Encoder::best), kImageCapacity);
}

TEST(BestOption, WritesASmallerImageAndTellsTheSaving) {
    TempDir dir;
    testing::writeFile(dir / "large.kvz", testing::readFileBytes(testing::sourcePath("examples/large.kvz")));
    testing::writeFile(dir / "default.kvz", testing::readFileBytes(testing::sourcePath("examples/large.kvz")));
    const ProcessResult best = kvzpack(dir, {"--best", "-v", "large.kvz"});
    ASSERT_EQ(best.exitStatus, 0) << best.err;
    const ProcessResult standard = kvzpack(dir, {"-v", "default.kvz"});
    ASSERT_EQ(standard.exitStatus, 0) << standard.err;
    const std::regex summary(R"(.*, stream (\d+) bytes(.*), glyphs .*)");
    std::smatch ours, theirs;
    const std::string bestLine = best.out.substr(best.out.find('\n') + 1);
    const std::string standardLine = standard.out.substr(standard.out.find('\n') + 1);
    ASSERT_TRUE(std::regex_search(bestLine, ours, summary)) << bestLine;
    ASSERT_TRUE(std::regex_search(standardLine, theirs, summary)) << standardLine;
    const std::size_t ourStream = std::stoul(ours[1]), theirStream = std::stoul(theirs[1]);
    EXPECT_LT(ourStream, theirStream);
    EXPECT_EQ(theirs[2], "");
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.1f%%",
                  100.0 * static_cast<double>(theirStream - ourStream) / static_cast<double>(theirStream));
    EXPECT_EQ(ours[2], " (default " + std::to_string(theirStream) + ": " + std::to_string(theirStream - ourStream) +
                           " saved, " + percent + ")");
    EXPECT_LT(fs::file_size(dir / "large.ihx"), fs::file_size(dir / "default.ihx"));
}

TEST(BestOption, ListedInTheHelp) {
    TempDir dir;
    const ProcessResult run = kvzpack(dir, {"--help"});
    EXPECT_NE(run.out.find("      --best "), std::string::npos) << run.out;
}

}  // namespace
}  // namespace kvz
