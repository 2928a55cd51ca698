// The command line: converts every KVZ file named on it into NAME.ihx and
// NAME.txt beside it, appends each address range to the log named after the
// first file, and returns the exit status.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cli/program.h"
#include "io/interruption.h"

namespace kvz {

// args[0] is the program's name. A conversion starts `interruptions` before
// it touches any file, and lists every temporary file of the run in its
// registry while the file exists; help, version and --inspect write no file
// and start nothing.
int runKvzpack(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               io::InterruptionWatcher& interruptions);

}  // namespace kvz
