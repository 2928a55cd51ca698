// The data of nfc_table.cpp, which tools/nfcgen writes from Unicode's
// character data: what canonical composition needs, each table sorted by
// its first member. Hangul syllables are composed by their algorithm.
#pragma once

#include <array>
#include <cstdint>

namespace kvz::nfc {

struct CombiningClass {
    char32_t character;
    std::uint8_t combiningClass;  // never 0: characters not listed have class 0
};

struct Decomposition {
    char32_t character;
    std::array<char32_t, 4> parts;  // the full canonical decomposition, ended by 0 when shorter
};

struct Composition {
    char32_t first, second, composite;
};

extern const std::array<CombiningClass, 912> kCombiningClasses;
extern const std::array<Decomposition, 2061> kDecompositions;
extern const std::array<Composition, 941> kCompositions;  // sorted by first, then second
extern const std::array<char32_t, 63> kCompositionSeconds;

}  // namespace kvz::nfc
