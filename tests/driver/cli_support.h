// Helpers of the option tests: running kvzpack in a folder, its messages
// without progress lines, and decks made for them.
#pragma once

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace kvz::cli_testing {

// Names the option tests share; `using namespace cli_testing` brings them in.
namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::TempDir;

inline testing::ProcessResult kvzpack(const testing::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), testing::kvzpackBinary().string());
    return testing::runProgram(args, dir.path());
}

// Standard error without the phrase search's "[nnn]\r" progress lines.
inline std::string messages(const std::string& err) { return testing::withoutProgress(err); }

// Group 0 with `entries` entries whose long fields hold 58 random kanji
// each (a seeded sequence: a deck of fewer entries is the start of one with
// more); group names and short fields are single letters. From about 700
// entries on its image is too large for the device.
inline std::vector<std::uint8_t> randomKanjiDeck(int entries) {
    std::vector<std::uint8_t> deck;
    testing::appendRecord(deck, testing::groupRecord("G0", static_cast<std::uint16_t>(entries)));
    for (int g = 1; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("G", 0));
    std::uint32_t state = 12345;
    for (int e = 0; e < entries; ++e) {
        std::string text;
        for (int c = 0; c < 58; ++c) {
            state = state * 1103515245u + 12345u;
            const unsigned k = (state >> 8) % (15 * 188);  // leads 0x89 to 0x97: assigned kanji
            text += static_cast<char>(0x89 + k / 188);
            text += static_cast<char>(0x40 + (k % 188 < 63 ? k % 188 : k % 188 + 1));
        }
        testing::appendRecord(deck, testing::entryRecord({text, "a", "b", "c", "d", "e"}));
    }
    return deck;
}

inline std::vector<std::uint8_t> exampleDeck() {
    return testing::readFileBytes(testing::sourcePath("examples/example.kvz"));
}

inline void copyExample(const testing::TempDir& dir, const std::string& name = "example.kvz") {
    testing::writeFile(dir / name, exampleDeck());
}

// Groups 0 and 1 with one and two entries. Group 1 entry 1 holds the
// user-defined character 0xF040 once (long field) and the IBM extension
// kanji 0xFA40 three times (first in short field 2), beside an ideographic
// space; the other texts use ordinary letters.
inline std::vector<std::uint8_t> deckWithoutSomeGlyphs() {
    std::vector<std::uint8_t> deck;
    testing::appendRecord(deck, testing::groupRecord("A", 1));
    testing::appendRecord(deck, testing::groupRecord("B", 2));
    for (int g = 2; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("C", 0));
    testing::appendRecord(deck, testing::entryRecord({"A", "B", "C", "D", "E", "F"}));
    testing::appendRecord(deck, testing::entryRecord({"X", "Y", "Z", "W", "V", "U"}));
    testing::appendRecord(deck, testing::entryRecord(
                                    {"X\xF0\x40", "a", "\xFA\x40\xFA\x40", "b", "\xFA\x40\x81\x40", "c"}));
    return deck;
}

using testing::splitLines;

}  // namespace kvz::cli_testing
