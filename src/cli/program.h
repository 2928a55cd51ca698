// What kvzpack and kvzdeck share as programs: exit statuses, options in the
// GNU style, and the frame of a run (interruptions, standard output checked
// to its end).
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "common/result.h"
#include "io/interruption.h"
#include "io/temporary.h"

namespace kvz {

// Exit statuses.
inline constexpr int kExitSuccess = 0;  // every file converted (or usage shown)
inline constexpr int kExitFailure = 1;  // at least one file failed
inline constexpr int kExitUsage = 2;    // the command line itself was refused

// An option: "--name", and "-x" when it has a short name. With a value name
// it takes a value ("--name VALUE" or "--name=VALUE"; "-x VALUE" or
// "-xVALUE" in the short form), which the refusal of a missing one names:
// "option '--entry' needs G or G:N".
struct OptionRule {
    std::string_view name;
    char shortName = 0;
    std::string_view valueName;  // empty: a flag
};

// Goes through `arguments` in order: calls onOption(index into rules, value)
// for every option (value empty for a flag) and onOperand for every other
// argument. "--" ends the options; "-" alone and "" are operands. Short
// flags may be clustered ("-hv"), a short option with a value last. Long options are written in full. Stops
// at the first refusal, onOption's or its own ("unknown option '--x'",
// "option '--best' takes no value", "option '--entry' needs G or G:N").
Status scanArguments(std::span<const std::string> arguments, std::span<const OptionRule> rules,
                     const std::function<Status(std::size_t option, const std::string& value)>& onOption,
                     const std::function<void(const std::string& operand)>& onOperand);

// "kvzpack: REASON" and the line that points to --help, for a refused
// command line; returns kExitUsage.
int refuseCommandLine(std::ostream& err, std::string_view program, const std::string& reason);

// What a program does with its arguments (args[0] is the name it was
// started by), its standard output and error, and the watcher of its
// interruptions, which it starts before it makes its first file.
using ProgramBody = std::function<int(std::span<const std::string> args, std::ostream& out,
                                      std::ostream& err, io::InterruptionWatcher& interruptions)>;

// Starts `interruptions` and gives the registry of temporary files it
// watches; when its thread cannot start, tells "PROGRAM: out of memory" and
// gives none (the program then makes no file and fails).
io::TemporaryFiles* watchInterruptions(io::InterruptionWatcher& interruptions, std::ostream& err,
                                       std::string_view program);

// Runs `body` as the process: once the body has started watching, SIGINT,
// SIGTERM and SIGHUP remove the temporary files registered and end the
// process with 128 + N; a closed pipe or the file-size limit only fails the
// write that meets it; standard output is written through a checked buffer,
// and a failed write is told as "PROGRAM: cannot write to standard output:
// REASON" and fails the run; memory that runs out where the body does not
// catch it is told as "PROGRAM: out of memory" (exit status 1). Returns the
// exit status.
int runProgram(std::string_view program, int argc, char** argv, const ProgramBody& body);

}  // namespace kvz
