// kvzpack's command line: options in the GNU style, mixed freely with the
// file names, "--" ending the options.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/program.h"
#include "common/result.h"
#include "core/inspect.h"

namespace kvz {

struct Options {
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool preview = false;
    bool strict = false;
    bool verify = true;
    bool best = false;                        // the optimising encoder
    bool report = false;                      // where each image's bytes go
    bool split = false;                       // a deck too large becomes several images
    std::optional<std::size_t> maxParts;      // with split: the most parts, beyond the default
    std::optional<std::string> inspect;       // image to inspect instead of converting
    std::optional<EntrySelection> entry;      // with inspect
    std::optional<std::string> outputDir;     // the folder of every output, else beside each file
    std::vector<std::string> files;           // KVZ files, in command-line order
};

// Parses the arguments behind the program's name. A refusal's reason is one
// line without the program's name, e.g. "unknown option '--x'".
Result<Options> parseCommandLine(std::span<const std::string> arguments);

// "G" or "G:N"; G from 0 to 7, N from 0 to 65535.
Result<EntrySelection> parseEntrySelection(std::string_view text);

// The text of --help.
std::string helpText();

}  // namespace kvz
