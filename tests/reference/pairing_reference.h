// The pairing of neighbours as first written: every round counts and sorts
// every pair of every line, the chosen pairs found by sorting all that were
// counted. The oracle for the optimising encoder's pairing, which sorts in
// linear passes and picks the chosen pairs alone.
#pragma once

#include <cstdint>
#include <vector>

namespace kvz::reference {

// The sequences the rounds make, in the order made (as pairingCandidates
// makes them when its steps do not run out).
std::vector<std::vector<std::uint16_t>> pairingCandidates(const std::vector<std::vector<std::uint16_t>>& texts);

}  // namespace kvz::reference
