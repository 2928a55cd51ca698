// The command line: converts every KVZ file named on it into NAME.ihx and
// NAME.txt beside it, appends each address range to the log named after the
// first file, and returns the exit status.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cli/program.h"
#include "io/temporary.h"

namespace kvz {

// The path without its extension: the last "." of the last path component
// and everything behind it removed.
std::string getBaseFileName(std::string_view path);

// args[0] is the program's name. Every temporary file of the run is listed
// in `temporaries` while it exists.
int runKvzpack(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               io::TemporaryFiles& temporaries);

}  // namespace kvz
