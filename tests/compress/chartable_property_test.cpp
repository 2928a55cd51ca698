// The indexed character table and code lines against the plain linear
// search, on random text blocks full of edge cases.
#include <gtest/gtest.h>

#include <random>

#include "compress/compress.h"
#include "reference/chartable_reference.h"

namespace kvz {
namespace {

// Texts of one- and two-byte characters from a small or a large alphabet,
// some ending in a lone lead byte, some blocks cut short or followed by
// bytes behind the closing empty text.
TextBlock randomTextBlock(std::mt19937& random) {
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const bool small = pick(0, 1) == 0;
    std::vector<std::uint8_t> alphabet;
    for (int i = pick(2, small ? 6 : 200); i > 0; --i) alphabet.push_back(static_cast<std::uint8_t>(pick(1, 255)));
    TextBlock block;
    for (int text = pick(0, 30); text > 0; --text) {
        for (int c = pick(1, 40); c > 0; --c) {
            const std::uint8_t first = alphabet[static_cast<std::size_t>(pick(0, static_cast<int>(alphabet.size()) - 1))];
            block.push_back(first);
            if (isKanji(first)) block.push_back(alphabet[static_cast<std::size_t>(pick(0, static_cast<int>(alphabet.size()) - 1))]);
        }
        if (pick(0, 9) == 0) block.push_back(0x88);  // a lone lead byte
        block.push_back(0);
    }
    block.push_back(0);
    if (pick(0, 3) == 0) block.insert(block.end(), {0x41, 0x88, 0x9F, 0});  // behind the end
    if (pick(0, 5) == 0 && block.size() > 2) block.resize(block.size() - 2);  // cut short
    return block;
}

TEST(CharTableProperty, IndexedEqualsLinearSearch) {
    std::mt19937 random(3141);
    for (int round = 0; round < 3000; ++round) {
        const TextBlock block = randomTextBlock(random);
        const auto plain = reference::countChars(block);
        auto table = countChars(block);
        ASSERT_TRUE(table.ok()) << table.reason();
        ASSERT_EQ(table->size(), plain.size()) << "round " << round;
        for (std::size_t i = 0; i < plain.size(); ++i) {
            ASSERT_EQ((*table)[i].code, plain[i].code) << "round " << round << " entry " << i;
            ASSERT_EQ((*table)[i].count, plain[i].count) << "round " << round << " entry " << i;
        }
        sortCharTable(*table);
        ASSERT_EQ(encode16(*table, block), reference::encode16(*table, block)) << "round " << round;
    }
}

}  // namespace
}  // namespace kvz
