// Readable fixtures for the compression tests.
#pragma once

#include <string>
#include <vector>

#include "compress/compress.h"

namespace kvz::testing {

// Code lines from their codes: each line gets its length word, a zero word
// closes the list.
inline CodeLines codeLinesOf(const std::vector<std::vector<std::uint16_t>>& lines) {
    return joinCodeLines(lines);
}

// A text block from byte strings: each text gets its zero byte, an empty
// text closes the block.
inline TextBlock textBlockOf(const std::vector<std::string>& texts) {
    TextBlock block;
    for (const std::string& text : texts) {
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(0);
    }
    block.push_back(0);
    return block;
}

}  // namespace kvz::testing
