// Helpers of the cli module's tests: running kvzpack in a folder, its
// messages without progress lines, and the bundled example deck.
#pragma once

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace kvz::cli_testing {

// Names the cli tests share; `using namespace cli_testing` brings them in.
namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::TempDir;

inline testing::ProcessResult kvzpack(const testing::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), testing::kvzpackBinary().string());
    return testing::runProgram(args, dir.path());
}

// Standard error without the phrase search's "[nnn]\r" progress lines.
inline std::string messages(const std::string& err) {
    return std::regex_replace(err, std::regex(R"(\[\d{3}\]\r)"), "");
}

inline std::vector<std::uint8_t> exampleDeck() { return testing::bundledDeckBytes("example.kvz"); }

inline void copyExample(const testing::TempDir& dir, const std::string& name = "example.kvz") {
    testing::writeFile(dir / name, exampleDeck());
}

}  // namespace kvz::cli_testing
