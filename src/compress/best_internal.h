// Helpers shared by the files of the optimising encoder.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kvz::detail {

// The codes of every line (length words left out), in order.
std::vector<std::span<const std::uint16_t>> lineBodies(std::span<const std::uint16_t> codeLines);

}  // namespace kvz::detail
