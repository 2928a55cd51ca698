// Helpers of the Intel HEX tests: a temporary folder whose files are named by
// strings, and reproducible random images.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace kvz::test {

// A temporary folder that names its files as the HEX functions take them.
class TempDir : public testing::TempDir {
public:
    std::string file(const std::string& name) const { return (path() / name).string(); }
};

inline std::vector<std::uint8_t> randomImage(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> image(size);
    for (auto& b : image) b = static_cast<std::uint8_t>(byte(generator));
    return image;
}

inline std::string asText(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

}  // namespace kvz::test
