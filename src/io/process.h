// The process as the system hands it over: its arguments and its standard
// error stream. Both read and write UTF-8 text on every system.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kvz::io {

// The program's arguments, the name it was started by first. On POSIX these
// are `argv` as they are; on Windows they are the process's command line as
// the system holds it in UTF-16 (so that any name, Japanese included, comes
// through whatever the code page), split by the system's rules and
// converted to UTF-8; `argc` and `argv` are then not read. There the name
// started by is the program's file name without its folder and ".exe"
// ("kvzpack"), as cmd has it typed, also where a shell hands over the
// whole path it found.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Standard error, written through at every output operation. On POSIX it is
// std::cerr. On Windows its bytes go out as they are, with no translation of
// line ends, and into a console as the UTF-16 text of the UTF-8 written.
std::ostream& standardError();

}  // namespace kvz::io
