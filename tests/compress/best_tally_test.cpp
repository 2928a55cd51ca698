// The optimising encoder's stream tally against the stream encode8 really
// writes for the encoding written from the search, after every kind of move
// the search makes: dropping phrases, adding them, swapping one for a
// relative, re-ranking, taking a character out of the one-byte codes, and
// inlining one at a time (the tally kept up to date and one made afresh). The search is taken round by round, as
// encodeBest takes it, over random decks of every shape and the bundled
// examples; every kind of move must be seen somewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "best_support.h"
#include "compress/best_rounds_internal.h"
#include "support/fixtures.h"

namespace kvz::detail {
namespace {

using kvz::testing::Encoded;

enum class Move { drop, add, swap, rerank, inlining, freeing };

struct Deck {
    std::string name;
    KvzFile file;
};

std::vector<Deck> decks() {
    std::vector<Deck> all;
    for (const char* bundled : {"example.kvz", "sample.kvz"}) {
        auto file = readKvzBytes(kvz::testing::bundledDeckBytes(bundled));
        if (!file) throw std::runtime_error(file.reason());
        all.push_back({bundled, std::move(*file)});
    }
    for (const kvz::testing::DeckShape& shape : kvz::testing::kDeckShapes)
        for (unsigned seed = 1; seed <= 3; ++seed)
            all.push_back({std::string(shape.name) + "_" + std::to_string(seed), kvz::testing::randomDeck(shape, seed)});
    return all;
}

class SearchSteps {
public:
    explicit SearchSteps(const Encoded& standard) : standard_(standard) {}

    // Bytes of the stream encode8 writes for the encoding written from `e`.
    std::size_t written(const Encoding& e) const {
        const TextEncoding encoding = writeEncoding(e, standard_.encoding.charTable, standard_.frame);
        auto bytes = measureStream(encoding.codeLines, standard_.frame);
        EXPECT_TRUE(bytes.ok()) << bytes.reason();
        return bytes ? *bytes : 0;
    }

    void expectExact(const Encoding& e, const std::string& after) const {
        Encoding copy = e;
        EXPECT_EQ(StreamTally(copy, standard_.frame).bytes(), static_cast<std::int64_t>(written(e))) << "after " << after;
        EXPECT_EQ(tallyStream(e, standard_.frame), static_cast<std::int64_t>(written(e))) << "after " << after;
    }

    // Runs `round` on the search, checks the tally, and notes the moves it made.
    template <class Round>
    bool step(Search& search, const std::string& name, Round round) {
        const std::vector<std::uint32_t> usedBefore = usedPhrases(search.encoding);
        const auto charWidths = search.charWidth;
        const auto phraseWidths = search.phraseWidth;
        const bool changed = round();
        expectExact(search.encoding, name);
        const std::vector<std::uint32_t> usedAfter = usedPhrases(search.encoding);
        if (!std::includes(usedAfter.begin(), usedAfter.end(), usedBefore.begin(), usedBefore.end())) seen.insert(Move::drop);
        if (!std::includes(usedBefore.begin(), usedBefore.end(), usedAfter.begin(), usedAfter.end())) seen.insert(Move::add);
        if (search.charWidth != charWidths || search.phraseWidth != phraseWidths) seen.insert(Move::rerank);
        return changed;
    }

    // For every phrase of `found`: the cost the tally tells of inlining it is
    // what inlining it does to the stream encode8 writes.
    void inliningCosts(const Encoding& found) {
        const auto before = static_cast<std::int64_t>(written(found));
        for (std::uint32_t p : usedPhrases(found)) {
            Encoding copy = found;
            StreamTally tally(copy, standard_.frame);
            const std::int64_t cost = tally.inliningCost(p);
            EXPECT_EQ(tally.bytes(), before) << "the cost of inlining phrase " << p << " changed the tally";
            tally.inlinePhrase(p);
            EXPECT_EQ(static_cast<std::int64_t>(written(copy)) - before, cost) << "inlining phrase " << p;
            EXPECT_EQ(tally.bytes(), before + cost) << "inlining phrase " << p;
        }
    }

    // Inlines the phrases of `found` one at a time where that pays, checking
    // the kept tally and a fresh one after each.
    void inlineOneByOne(Encoding found) {
        StreamTally tally(found, standard_.frame);
        EXPECT_EQ(tally.bytes(), static_cast<std::int64_t>(written(found))) << "before inlining";
        for (std::uint32_t p : usedPhrases(found)) {
            if (!tally.inlineIfSmaller(p)) continue;
            seen.insert(Move::inlining);
            EXPECT_EQ(tally.bytes(), static_cast<std::int64_t>(written(found))) << "inlining phrase " << p;
            expectExact(found, "inlining phrase " + std::to_string(p));
        }
    }

    std::set<Move> seen;

private:
    const Encoded& standard_;
};

// Two refreshes of the search, every round as encodeBest runs it, except
// that the swap round runs after every sweep (not only after one that moved
// nothing), each followed by its re-ranking. The second takes the wider
// candidates of encodeBest's last refresh, the pairs that pay only beside
// other moves among them.
void walkSearch(const Encoded& standard, std::uint32_t depth, SearchSteps& steps) {
    Spelled spelled = spellStandard(standard.encoding.codeLines, standard.frame);
    BestWork work;
    std::vector<Chars> candidates = gatherCandidates(spelled, work);
    Search search = startSearch(std::move(spelled.texts), standard.encoding.charTable.size(), standard.frame, depth);
    for (int refresh = 0; refresh < 2; ++refresh) {
        takeCandidates(search, std::move(candidates));
        steps.expectExact(search.encoding, "the first parse");
        for (int round = 0; round < 400; ++round)
            if (!steps.step(search, "a drop round", [&] { return dropRound(search); })) break;
        for (int sweep = 0; sweep < 5; ++sweep) {
            const bool swept = steps.step(search, "a sweep", [&] {
                const bool moved = sweepRound(search);
                rerank(search);
                return moved;
            });
            const bool swapped = steps.step(search, "a swap round", [&] {
                const bool moved = swapRound(search);
                rerank(search);
                return moved;
            });
            if (swapped) steps.seen.insert(Move::swap);
            if (!swept && !swapped) break;
        }
        const std::int64_t beforeFreeing = tallyStream(search.encoding, standard.frame);
        const Encoding unfreed = search.encoding;
        const auto widthsUnfreed = search.charWidth;
        if (steps.step(search, "freeing a character", [&] { return freeCharRound(search); })) {
            steps.seen.insert(Move::freeing);
            EXPECT_LT(tallyStream(search.encoding, standard.frame), beforeFreeing);
        } else {
            EXPECT_EQ(search.encoding.texts, unfreed.texts) << "a round that kept nothing changed the parse";
            EXPECT_EQ(search.encoding.phraseUses, unfreed.phraseUses);
            EXPECT_EQ(search.charWidth, widthsUnfreed);
        }
        if (refresh == 0) steps.inliningCosts(search.encoding);
        steps.inlineOneByOne(search.encoding);
        candidates = refreshedCandidates(search, PairsTaken::nearlyPaying);
    }
}

TEST(StreamTally, EqualsTheWrittenStreamAfterEveryMove) {
    std::set<Move> seen;
    for (const Deck& deck : decks()) {
        SCOPED_TRACE(deck.name);
        const Encoded standard = kvz::testing::encodeStandard(deck.file);
        auto depth = phraseNestingDepth(standard.encoding.codeLines, standard.frame);
        ASSERT_TRUE(depth.ok()) << depth.reason();
        if (*depth == 0) continue;  // no phrases: encodeBest keeps the default
        SearchSteps steps(standard);
        walkSearch(standard, *depth, steps);
        seen.insert(steps.seen.begin(), steps.seen.end());
    }
    for (Move move : {Move::drop, Move::add, Move::swap, Move::rerank, Move::inlining})
        EXPECT_TRUE(seen.count(move)) << "no deck made move " << static_cast<int>(move);
}

// Many distinct kanji push hiragana into two-byte codes, while the stroke
// counts 10 and 20 hold the one character 0 that stands nowhere else: two
// phrases take it out of the one-byte codes, which neither pays for alone.
TEST(FreeCharRound, GivesTheOneByteCodeOfACharacterThatPhrasesCoverToAHiragana) {
    auto file = readKvzBytes(kvz::testing::manyKanjiDeck(600, 1500, 1));
    ASSERT_TRUE(file.ok()) << file.reason();
    const Encoded standard = kvz::testing::encodeStandard(*file);
    auto depth = phraseNestingDepth(standard.encoding.codeLines, standard.frame);
    ASSERT_TRUE(depth.ok()) << depth.reason();
    Spelled spelled = spellStandard(standard.encoding.codeLines, standard.frame);
    BestWork work;
    std::vector<Chars> candidates = gatherCandidates(spelled, work);
    Search search = startSearch(std::move(spelled.texts), standard.encoding.charTable.size(), standard.frame, *depth);
    takeCandidates(search, std::move(candidates));
    for (int round = 0; round < 400 && dropRound(search); ++round) {
    }
    const auto indexOf = [&](std::uint8_t lead, std::uint8_t trail) {
        const CharTable& table = standard.encoding.charTable;
        const auto found = std::find_if(table.begin(), table.end(), [&](const CharEntry& entry) {
            return entry.code[0] == lead && entry.code[1] == trail;
        });
        return static_cast<std::size_t>(found - table.begin());
    };
    const std::size_t digitZero = indexOf(0x82, 0x4F);  // only in the stroke counts 10 and 20
    ASSERT_EQ(search.charWidth.at(digitZero), 1);
    std::size_t twoByteHiragana = 0;
    for (std::size_t c = 0; c < search.charWidth.size(); ++c)
        if (standard.encoding.charTable[c].code[0] == 0x82 && standard.encoding.charTable[c].code[1] >= 0x9F &&
            search.charWidth[c] == 2)
            ++twoByteHiragana;
    ASSERT_GT(twoByteHiragana, 0u) << "the deck must leave hiragana without a one-byte code";

    const std::int64_t before = tallyStream(search.encoding, standard.frame);
    ASSERT_TRUE(freeCharRound(search));
    EXPECT_LT(tallyStream(search.encoding, standard.frame), before);
    EXPECT_EQ(search.charWidth[digitZero], 2);
    EXPECT_LE(search.encoding.charUses[digitZero], 2u) << "0 stands only in the phrase lines of 10 and 20";
    const TextEncoding written = writeEncoding(search.encoding, standard.encoding.charTable, standard.frame);
    const Status limits = checkEncodingLimits(written, standard.encoding, standard.frame);
    EXPECT_TRUE(limits.ok()) << limits.reason();
}

}  // namespace
}  // namespace kvz::detail
