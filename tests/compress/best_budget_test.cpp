// The optimising encoder within its budget of counted steps. On a deck of
// real entries repeated and shuffled (four copies of examples/large.kvz),
// whose search would run past every budget tried: each limit stops it
// within a pairing round of the limit, a larger limit never gives a larger
// stream, what a search noted at a glance is what a search within that many
// steps gives, and every result is still a valid encoding of the deck. The
// shortcuts that spare steps are checked against the plain search.
#include <gtest/gtest.h>

#include "best_support.h"
#include "compress/best_rounds_internal.h"
#include "reference/pairing_reference.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::Encoded;

KvzFile repeatedLargeDeck() {
    auto file = readKvzBytes(testing::repeatedEntries(testing::bundledDeckBytes("large.kvz"), 4, 1));
    if (!file) throw std::runtime_error(file.reason());
    return std::move(*file);
}

std::uint64_t characterCount(const Encoded& e) {
    std::uint64_t count = 0;
    for (const auto& text : testing::readEncoding(e).texts) count += text.size();
    return count;
}

TEST(BestBudget, StopsAtEachLimitAndNeverGivesMoreForMore) {
    const Encoded standard = testing::encodeStandard(repeatedLargeDeck());
    const testing::Reading plain = testing::readEncoding(standard);
    // The largest step between two points where the search can stop is a
    // round of pairing: four steps for every character.
    const std::uint64_t overrun = 4 * characterCount(standard);
    std::size_t previousBytes = testing::streamBytes(standard);
    std::uint64_t previousLimit = 0;
    for (const std::uint64_t limit : {std::uint64_t{1'000'000}, std::uint64_t{5'000'000}, std::uint64_t{20'000'000},
                                      std::uint64_t{60'000'000}, kBestSteps}) {
        SCOPED_TRACE(limit);
        BestWork work{limit, previousLimit};
        const Encoded best{encodeBest(standard.encoding, standard.frame, work), standard.frame};
        EXPECT_GE(work.spent, limit);  // the deck's search goes on past every limit tried
        EXPECT_LE(work.spent, limit + overrun);
        const Status valid = checkEncodingLimits(best.encoding, standard.encoding, standard.frame);
        EXPECT_TRUE(valid.ok()) << valid.reason();
        EXPECT_EQ(testing::readEncoding(best).texts, plain.texts);
        const std::size_t bytes = testing::streamBytes(best);
        EXPECT_LE(bytes, previousBytes);
        EXPECT_EQ(work.streamAtGlance, previousBytes);
        previousBytes = bytes;
        previousLimit = limit;
    }
    EXPECT_LT(previousBytes, testing::streamBytes(standard));
}

TEST(BestBudget, GivesTheSameEncodingEveryTime) {
    const Encoded standard = testing::encodeStandard(repeatedLargeDeck());
    BestWork first{20'000'000}, second{20'000'000};
    const TextEncoding a = encodeBest(standard.encoding, standard.frame, first);
    const TextEncoding b = encodeBest(standard.encoding, standard.frame, second);
    EXPECT_EQ(a.codeLines, b.codeLines);
    EXPECT_EQ(first.spent, second.spent);
}

struct Deck {
    std::string name;
    KvzFile file;
};

std::vector<Deck> smallDecks() {
    std::vector<Deck> all;
    auto sample = readKvzBytes(testing::bundledDeckBytes("sample.kvz"));
    if (!sample) throw std::runtime_error(sample.reason());
    all.push_back({"sample", std::move(*sample)});
    for (const testing::DeckShape& shape : testing::kDeckShapes)
        for (unsigned seed = 1; seed <= 2; ++seed)
            all.push_back({std::string(shape.name) + "_" + std::to_string(seed), testing::randomDeck(shape, seed)});
    return all;
}

// The moves the bound skips are those that would not have been made: the
// search ends every sweep and swap round as the plain search does.
TEST(BestSearchBound, SkipsOnlyMovesThatWouldNotBeMade) {
    for (const Deck& deck : smallDecks()) {
        SCOPED_TRACE(deck.name);
        const Encoded standard = testing::encodeStandard(deck.file);
        auto depth = phraseNestingDepth(standard.encoding.codeLines, standard.frame);
        ASSERT_TRUE(depth.ok()) << depth.reason();
        if (*depth == 0) continue;
        detail::Spelled spelled = detail::spellStandard(standard.encoding.codeLines, standard.frame);
        BestWork work;
        std::vector<detail::Chars> candidates = detail::gatherCandidates(spelled, work);
        detail::Search bounded =
            detail::startSearch(std::move(spelled.texts), standard.encoding.charTable.size(), standard.frame, *depth);
        detail::takeCandidates(bounded, std::move(candidates));
        for (int round = 0; round < 400 && detail::dropRound(bounded); ++round) {
        }
        detail::Search plain = bounded;
        plain.tryEveryMove = true;
        for (int sweep = 0; sweep < 4; ++sweep) {
            EXPECT_EQ(detail::sweepRound(bounded), detail::sweepRound(plain));
            EXPECT_EQ(bounded.alive, plain.alive);
            EXPECT_EQ(bounded.encoding.texts, plain.encoding.texts);
            EXPECT_EQ(bounded.textCost, plain.textCost);
            EXPECT_EQ(detail::swapRound(bounded), detail::swapRound(plain));
            EXPECT_EQ(bounded.alive, plain.alive);
            EXPECT_EQ(bounded.encoding.texts, plain.encoding.texts);
            detail::rerank(bounded);
            detail::rerank(plain);
            EXPECT_EQ(bounded.encoding.phrases, plain.encoding.phrases);
            EXPECT_EQ(bounded.encoding.phraseUses, plain.encoding.phraseUses);
        }
    }
}

TEST(BestPairing, MakesWhatThePlainPairingMakes) {
    std::vector<Deck> decks = smallDecks();
    auto large = readKvzBytes(testing::bundledDeckBytes("large.kvz"));
    ASSERT_TRUE(large.ok());
    decks.push_back({"large", std::move(*large)});
    for (const Deck& deck : decks) {
        SCOPED_TRACE(deck.name);
        const Encoded standard = testing::encodeStandard(deck.file);
        const detail::Spelled spelled = detail::spellStandard(standard.encoding.codeLines, standard.frame);
        BestWork work;
        EXPECT_EQ(detail::pairingCandidates(spelled.texts, work), reference::pairingCandidates(spelled.texts));
    }
}

}  // namespace
}  // namespace kvz
