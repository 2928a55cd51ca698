// The indexed phrase search against the plain walk on real decks: the
// bundled examples and decks cut from the largest one.
#include <gtest/gtest.h>

#include "compress/compress.h"
#include "reference/phrases_reference.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

struct FreshLines {
    CodeLines lines;
    std::uint16_t codesBefore = 0;
};

FreshLines freshLines(const std::vector<std::uint8_t>& kvzBytes) {
    auto file = readKvzBytes(kvzBytes);
    if (!file) throw std::runtime_error(file.reason());
    auto table = countChars(file->textBlock);
    if (!table) throw std::runtime_error(table.reason());
    sortCharTable(*table);
    CodeLines lines = encode16(*table, file->textBlock);
    return {lines, static_cast<std::uint16_t>(getCodes16(lines))};
}

void expectSameAsPlainWalk(const FreshLines& fresh) {
    CodeLines fast = fresh.lines, plain = fresh.lines;
    substitutePhrases(fast, fresh.codesBefore);
    reference::substitutePhrases(plain, fresh.codesBefore);
    EXPECT_GT(getLines16(fast), getLines16(fresh.lines)) << "the deck should make phrases";
    EXPECT_EQ(fast, plain);
}

std::string exampleTsv(const std::string& name) {
    return testing::readFileText(testing::sourcePath("examples/" + name));
}

TEST(PhrasesOnDecks, SampleDeck) { expectSameAsPlainWalk(freshLines(testing::deckFromTsv(exampleTsv("sample.tsv")))); }

// The first `perGroup` entries of every group of the large deck.
std::string cutLargeDeck(int perGroup) {
    const std::string tsv = exampleTsv("large.tsv");
    std::string result;
    int taken = 0;
    for (const std::string& line : testing::splitLines(tsv)) {
        if (line.empty() || line[0] == '#') continue;
        const bool isEntry = line.find('\t') != std::string::npos;
        if (!isEntry) taken = 0;
        if (isEntry && taken++ >= perGroup) continue;
        result += line + "\n";
    }
    return result;
}

class PhrasesOnCutDecks : public ::testing::TestWithParam<int> {};

TEST_P(PhrasesOnCutDecks, SameAsPlainWalk) {
    expectSameAsPlainWalk(freshLines(testing::deckFromTsv(cutLargeDeck(GetParam()))));
}

INSTANTIATE_TEST_SUITE_P(EntriesPerGroup, PhrasesOnCutDecks, ::testing::Values(1, 3, 8, 15));

// The whole large deck takes the plain walk about half a minute.
TEST(PhrasesOnDecks, LargestDeck) {
    expectSameAsPlainWalk(freshLines(testing::readFileBytes(testing::sourcePath("examples/large.kvz"))));
}

}  // namespace
}  // namespace kvz
