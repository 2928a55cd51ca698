#include <gtest/gtest.h>

#include "compress/compress.h"
#include "compress/lines.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Stream, OneByteLimitByCodeCount) {
    const std::pair<std::int32_t, int> cases[] = {
        {0, 129},   {1, 129},   {2, 128},  {128, 128}, {129, 127}, {1000, 121},
        {3000, 105}, {10000, 50}, {16257, 1}, {16258, 0}, {16510, 0},
    };
    for (auto [n, limit] : cases) {
        EXPECT_EQ(getC2Code(n), limit) << "n = " << n;
        if (n >= 2 && n <= 16257) {
            EXPECT_LE(static_cast<std::int32_t>(n - 1), largestStreamValue(getC2Code(n)));
        }
    }
    EXPECT_EQ(largestStreamValue(128), 127);
    EXPECT_EQ(largestStreamValue(1), 16256);
}

TEST(Stream, ValueForms) {
    const std::pair<std::uint16_t, Bytes> cases[] = {
        {57, {57}},          {99, {99}},          {100, {100, 0}},   {227, {100, 127}},
        {228, {101, 0}},     {3000, {122, 84}},   {3683, {127, 127}},
    };
    for (const auto& [value, bytes] : cases) {
        Bytes out;
        EXPECT_EQ(encode8_1(out, 100, value), static_cast<int>(bytes.size()));
        EXPECT_EQ(out, bytes) << "value " << value;
    }
    for (std::uint16_t v = 0; v < 128; ++v) {
        Bytes out;
        EXPECT_EQ(encode8_1(out, 128, v), 1);
    }
}

// Decodes a value the way the device does, to check every form round trips.
TEST(Stream, EveryFittingValueRoundTrips) {
    for (int limit : {1, 50, 105, 121, 127, 128}) {
        for (std::int32_t v = 0; v <= largestStreamValue(static_cast<std::uint8_t>(limit)); ++v) {
            Bytes out;
            encode8_1(out, static_cast<std::uint8_t>(limit), static_cast<std::uint16_t>(v));
            for (std::uint8_t b : out) ASSERT_LT(b, 128) << "limit " << limit << " value " << v;
            const int decoded = out[0] < limit ? out[0] : limit + (out[0] - limit) * 128 + out[1];
            ASSERT_EQ(decoded, v);
        }
    }
}

using testing::codeLinesOf;

TEST(Stream, WorkedExampleWithTwoPhrases) {
    const CodeLines lines = codeLinesOf({{0}, {0}, {0}, {0}, {0}, {0}, {0}, {0},
                                         {10, 0}, {9, 10, 0}, {10}, {11}, {0, 11}, {11},
                                         {1, 2, 3, 4}, {5, 6, 7, 8}});
    const auto stream = encode8(lines, 2, 10, GroupCounts{1, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(stream.ok()) << stream.reason();
    const Bytes expected = {127, 10, 2,                                      // header
                            4, 5, 6, 7, 8, 4, 1, 2, 3, 4,                    // phrases
                            1, 0, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0,  // groups
                            1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0,
                            2, 11, 0, 3, 9, 11, 0, 1, 11, 1, 10, 2, 0, 10, 1, 10};
    EXPECT_EQ(stream.value(), expected);
    EXPECT_EQ(stream->size(), 61u);
}

TEST(Stream, PhraseCodesAreWrittenInReverseOrder) {
    // F = 10, phrases 10, 11 and 12 made in that order: N = 13.
    const CodeLines lines = codeLinesOf({{10}, {11}, {12}, {0}, {0}, {0}, {0}, {9},
                                         {1, 2}, {3, 10}, {11, 4}});
    const auto stream = encode8(lines, 3, 10, GroupCounts{});
    ASSERT_TRUE(stream.ok()) << stream.reason();
    const Bytes expected = {127, 10, 3,
                            2, 11, 4,  // made last; it refers to phrase 11, which stays 11
                            2, 3, 12,  // phrase 11 refers to phrase 10, written 12
                            2, 1, 2,   // made first
                            1, 12, 0, 0, 1, 11, 0, 0, 1, 10, 0, 0, 1, 0, 0, 0,
                            1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 9, 0, 0};
    EXPECT_EQ(stream.value(), expected);
}

TEST(Stream, HeaderWithOnePhrase) {
    const CodeLines lines = codeLinesOf({{0}, {0}, {0}, {0}, {0}, {0}, {0}, {9}, {10}, {1, 2, 3, 4}});
    const auto stream = encode8(lines, 1, 10, GroupCounts{});
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(Bytes(stream->begin(), stream->begin() + 3), (Bytes{127, 10, 1}));
}

TEST(Stream, GroupIndexesRunOverEmptyGroups) {
    const CodeLines lines = codeLinesOf({{0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {1},
                                         {1}, {1}, {1}, {1}, {1}, {1}, {1}, {1}, {1}, {1}, {1}});
    // 3 + 0 + 5 entries would need 48 entry lines; the group table does not
    // look at them, and an absent entry part is fine for the writer.
    const auto stream = encode8(lines, 0, 2, GroupCounts{3, 0, 5, 2, 0, 0, 0, 0});
    ASSERT_TRUE(stream.ok()) << stream.reason();
    const Bytes& s = stream.value();
    // Header 127, 2, 0; then each group: 1, 0 (its line), index, count.
    const std::pair<int, int> groups[] = {{0, 3}, {3, 0}, {3, 5}, {8, 2}, {10, 0}};
    for (std::size_t g = 0; g < std::size(groups); ++g) {
        const std::size_t at = 3 + g * 4;
        EXPECT_EQ(s[at + 2], groups[g].first) << "group " << g;
        EXPECT_EQ(s[at + 3], groups[g].second) << "group " << g;
    }
}

TEST(Stream, LongLineGetsTwoByteLengthWord) {
    Bytes out;
    encode8_1(out, 120, 130);
    EXPECT_EQ(out, (Bytes{120, 10}));
}

TEST(Stream, NoPhraseNothingRenumbered) {
    const CodeLines lines = codeLinesOf({{0}, {1}, {2}, {3}, {4}, {5}, {6}, {7}});
    const auto stream = encode8(lines, 0, 8, GroupCounts{});
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(stream->size(), 3u + 8u * 4u);  // exactly 8 lines: no entry part
    EXPECT_EQ((*stream)[4], 0);
    EXPECT_EQ((*stream)[3 + 7 * 4 + 1], 7);
}

struct Refusal {
    const char* name;
    CodeLines lines;
    std::int32_t phrases;
    std::uint16_t codesBefore;
    GroupCounts counts;
    const char* mentions;
};

CodeLines eightLinesWithLargestCode(std::uint16_t largest) {
    return codeLinesOf({{largest}, {0}, {0}, {0}, {0}, {0}, {0}, {0}});
}

// 8 text lines, then phrase lines whose codes went past 65535 and wrapped
// around, as 16-bit phrase codes do: the largest word stays 65535.
CodeLines phraseCodesWrappedAround(std::size_t phraseLines) {
    std::vector<std::vector<std::uint16_t>> lines(8, std::vector<std::uint16_t>{65535});
    for (std::size_t k = 0; k < phraseLines; ++k) lines.push_back({static_cast<std::uint16_t>(k % 10), 1});
    return codeLinesOf(lines);
}

TEST(Stream, RefusesWhatTheDeviceCannotRead) {
    const Refusal cases[] = {
        {"too many codes", eightLinesWithLargestCode(16257), 0, 16258, {}, "16258"},
        {"entry count", eightLinesWithLargestCode(9), 0, 10, {200, 0, 0, 0, 0, 0, 0, 0}, "200"},
        {"first-entry index", eightLinesWithLargestCode(9), 0, 10, {100, 100, 0, 0, 0, 0, 0, 0},
         "first-entry index 200"},
        {"fewer than 8 lines", codeLinesOf({{1}, {0}}), 0, 2, {}, "8"},
        // 10 characters and 70000 phrases need 70010 codes, not the 65536 of the largest word.
        {"phrase codes past 65535", phraseCodesWrappedAround(70000), 70000, 10, {}, "the texts need 70010 codes"},
    };
    for (const Refusal& c : cases) {
        const auto stream = encode8(c.lines, c.phrases, c.codesBefore, c.counts);
        ASSERT_FALSE(stream.ok()) << c.name;
        EXPECT_NE(stream.reason().find(c.mentions), std::string::npos)
            << c.name << ": " << stream.reason();
    }
    // A limit refusal tells what the user can do.
    const std::pair<Refusal, const char*> remedies[] = {
        {cases[0], "; split the deck"},
        {cases[1], "entry count 200 does not fit the stream: with 10 codes its values stop at 127; "
                   "split the group, or the deck"},
        {cases[2], "; split the deck"},
    };
    for (const auto& [c, ending] : remedies) {
        const std::string reason = encode8(c.lines, c.phrases, c.codesBefore, c.counts).reason();
        const std::string_view end(ending);
        EXPECT_TRUE(reason.size() >= end.size() && reason.ends_with(end)) << c.name << ": " << reason;
    }
    // The largest values that still fit are accepted.
    EXPECT_TRUE(encode8(eightLinesWithLargestCode(16255), 0, 16256, {}).ok());
    // 16257 codes fit, but F = 16257 without phrases is one above the last
    // value, and no lower limit than 1 leaves a header byte below 128.
    EXPECT_FALSE(encode8(eightLinesWithLargestCode(16256), 0, 16257, {}).ok());
    EXPECT_TRUE(encode8(eightLinesWithLargestCode(9), 0, 10, {127, 0, 0, 0, 0, 0, 0, 0}).ok());
}

// Without phrases, a character count of 128 + 127k is one above the values
// its codes reach with the plain limit; the stream takes the next lower
// limit, which the header tells the reader. Every other count keeps it.
TEST(Stream, LowersTheLimitOnlyWhereTheCharacterCountWouldNotFit) {
    for (std::uint32_t count = 2; count <= 16257; ++count) {
        const std::uint8_t plain = getC2Code(static_cast<std::int32_t>(count));
        const bool overflows = static_cast<std::int32_t>(count) > largestStreamValue(plain);
        const std::uint16_t f = static_cast<std::uint16_t>(count);
        ASSERT_EQ(streamLimitLowered(count, f), overflows && count < 16257) << count;
        ASSERT_EQ(overflows, count % 127 == 1) << count;
        const std::uint8_t limit = streamLimit(count, f);
        if (count < 16257) {
            ASSERT_LE(static_cast<std::int32_t>(count), largestStreamValue(limit)) << count;
        }
        // With one phrase the count of codes is one more and F fits as it is.
        ASSERT_FALSE(streamLimitLowered(count + 1, f)) << count;
    }
}

TEST(Stream, LoweredLimitWritesAStreamTheReaderTakesAsIs) {
    for (const std::uint16_t count : {128, 255, 16130}) {
        const CodeLines lines = eightLinesWithLargestCode(static_cast<std::uint16_t>(count - 1));
        const auto stream = encode8(lines, 0, count, GroupCounts{});
        ASSERT_TRUE(stream.ok()) << count << ": " << stream.reason();
        const std::uint8_t limit = static_cast<std::uint8_t>((*stream)[0] + 1);
        EXPECT_EQ(limit, getC2Code(count) - 1);
        for (std::uint8_t b : *stream) ASSERT_LT(b, 128);
        // F, then P = 0, read under the header's limit.
        const std::size_t fBytes = count < limit ? 1 : 2;
        const int f = fBytes == 1 ? (*stream)[1] : limit + ((*stream)[1] - limit) * 128 + (*stream)[2];
        EXPECT_EQ(f, count);
        EXPECT_EQ((*stream)[1 + fBytes], 0);
        EXPECT_NE(describeLoweredLimit(count, count).find("one-byte limit " + std::to_string(limit) + " instead of " +
                                                          std::to_string(getC2Code(count))),
                  std::string::npos);
    }
}

// The group table's own limit: every value fits under it, and some value
// would not under the next higher one (unless it is 128).
TEST(Stream, GroupTableLimitIsTheHighestThatHoldsEveryValue) {
    const GroupCounts tables[] = {
        {}, {127, 0, 0, 0, 0, 0, 0, 0}, {128, 0, 0, 0, 0, 0, 0, 0}, {200, 250, 0, 0, 0, 0, 0, 0},
        {300, 300, 300, 300, 300, 300, 300, 350}, {16256, 0, 0, 0, 0, 0, 0, 0}, {16257, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const GroupCounts& counts : tables) {
        const std::uint8_t limit = groupTableLimit(counts);
        const CodeLines lines = eightLinesWithLargestCode(9);
        const bool fitsAny = counts[0] <= 16256;
        EXPECT_EQ(limit >= 1, fitsAny) << counts[0];
        if (limit < 1) continue;
        const auto stream = encode8(lines, 0, 10, counts, limit);
        EXPECT_TRUE(stream.ok()) << stream.reason();
        if (limit < 128) {
            EXPECT_FALSE(encode8(lines, 0, 10, counts, static_cast<std::uint8_t>(limit + 1)).ok());
        }
    }
    // A limit above the codes' own, or 0, is refused.
    EXPECT_FALSE(encode8(eightLinesWithLargestCode(200), 0, 201, {}, 128).ok());
    EXPECT_FALSE(encode8(eightLinesWithLargestCode(9), 0, 10, {}, 0).ok());
    EXPECT_TRUE(encode8(eightLinesWithLargestCode(9), 0, 10, {}, 1).ok());
}

// The table check before the phrase search refuses exactly the tables that
// encode8 refuses even at its most lenient, with 16257 codes.
TEST(Stream, GroupTableCheckRefusesWhatNoStreamHolds) {
    const std::pair<GroupCounts, const char*> cases[] = {
        {{16256, 0, 0, 0, 0, 0, 0, 0}, nullptr},
        {{16255, 1, 0, 0, 0, 0, 0, 0}, nullptr},  // group 2 and later start at entry 16256
        {{0, 0, 0, 0, 0, 0, 0, 16256}, nullptr},
        {{16257, 0, 0, 0, 0, 0, 0, 0},
         "group 0's entry count 16257 does not fit the stream: with any number of codes its values stop at 16256 or "
         "below; split the group, or the deck"},
        {{16256, 1, 1, 0, 0, 0, 0, 0},
         "group 2's first-entry index 16257 does not fit the stream: with any number of codes its values stop at "
         "16256 or below; split the deck"},
        {{65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535}, "group 0's entry count 65535 "},
    };
    for (const auto& [counts, refusal] : cases) {
        const Status checked = checkGroupTableFitsAnyStream(counts);
        const auto lenient = encode8(eightLinesWithLargestCode(16256), 0, 10, counts);
        EXPECT_EQ(checked.ok(), lenient.ok()) << (checked.ok() ? lenient.reason() : checked.reason());
        if (refusal) {
            EXPECT_EQ(checked.ok() ? "" : checked.reason().substr(0, std::string_view(refusal).size()), refusal);
        } else {
            EXPECT_TRUE(checked.ok()) << checked.reason();
        }
    }
}

// Every text line takes its length word and a code; a deck of one-character
// texts whose every value takes one byte has exactly that stream.
TEST(Stream, LeastStreamValuesAreReached) {
    std::vector<std::vector<std::uint16_t>> texts;
    for (std::uint16_t t = 0; t < 8 + 6 * 10; ++t) texts.push_back({static_cast<std::uint16_t>(t % 5)});
    const auto stream = encode8(codeLinesOf(texts), 0, 5, GroupCounts{10, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(stream.ok()) << stream.reason();
    EXPECT_EQ(stream->size(), leastStreamValues(texts.size()));
}

}  // namespace
}  // namespace kvz
