// A 1-bit glyph sheet read from a PNG file: which pixels carry ink.
#pragma once

#include <string>
#include <vector>

namespace fontgen {

struct InkSheet {
    int width = 0;
    int height = 0;
    std::vector<bool> ink;  // row by row

    bool at(int x, int y) const { return ink[static_cast<std::size_t>(y) * width + x]; }
};

// Reads a two-colour PNG; the darker colour is ink. Throws std::runtime_error
// on a file that cannot be read or has more than two colours.
InkSheet readInkSheet(const std::string& path);

}  // namespace fontgen
