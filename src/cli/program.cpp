#include "cli/program.h"

#include <new>
#include <vector>

#include "core/frontend.h"
#include "io/checked_output.h"
#include "io/process.h"

namespace kvz {
namespace {

using OptionCallback = std::function<Status(std::size_t, const std::string&)>;

Failure unknownOption(std::string_view argument) {
    return fail("unknown option '" + std::string(argument) + "'");
}

// "--name" or "--name=value"; `next` is the index of the following argument
// and moves past it when that argument is the option's value.
Status scanLongOption(std::span<const std::string> arguments, std::size_t& next,
                      std::span<const OptionRule> rules, const OptionCallback& onOption) {
    const std::string& argument = arguments[next - 1];
    const std::string_view body = std::string_view(argument).substr(2);
    const std::size_t equals = body.find('=');
    const std::string_view name = body.substr(0, equals);
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const OptionRule& rule = rules[i];
        if (rule.name != name) continue;
        const std::string shown = "option '--" + std::string(name) + "'";
        if (rule.valueName.empty()) {
            if (equals != std::string_view::npos) return fail(shown + " takes no value");
            return onOption(i, "");
        }
        if (equals != std::string_view::npos) return onOption(i, std::string(body.substr(equals + 1)));
        if (next >= arguments.size()) return fail(shown + " needs " + std::string(rule.valueName));
        return onOption(i, arguments[next++]);
    }
    return unknownOption(equals == std::string_view::npos ? argument : argument.substr(0, equals + 2));
}

// "-hVv" and the like: one or more short flags, the last of which may take a
// value, the rest of the argument ("-oDIR") or else the next one ("-o DIR").
Status scanShortOptions(std::span<const std::string> arguments, std::size_t& next,
                        std::span<const OptionRule> rules, const OptionCallback& onOption) {
    const std::string_view letters = std::string_view(arguments[next - 1]).substr(1);
    for (std::size_t at = 0; at < letters.size(); ++at) {
        const char letter = letters[at];
        std::size_t rule = rules.size();
        for (std::size_t i = 0; i < rules.size() && rule == rules.size(); ++i)
            if (rules[i].shortName != 0 && rules[i].shortName == letter) rule = i;
        if (rule == rules.size()) return unknownOption(std::string("-") + letter);
        if (rules[rule].valueName.empty()) {
            KVZ_TRY(onOption(rule, ""));
            continue;
        }
        if (at + 1 < letters.size()) return onOption(rule, std::string(letters.substr(at + 1)));
        if (next >= arguments.size())
            return fail("option '-" + std::string(1, letter) + "' needs " + std::string(rules[rule].valueName));
        return onOption(rule, arguments[next++]);
    }
    return success();
}

}  // namespace

Status scanArguments(std::span<const std::string> arguments, std::span<const OptionRule> rules,
                     const OptionCallback& onOption, const std::function<void(const std::string&)>& onOperand) {
    bool optionsEnded = false;
    std::size_t next = 0;
    while (next < arguments.size()) {
        const std::string& argument = arguments[next++];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            onOperand(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        KVZ_TRY(argument[1] == '-' ? scanLongOption(arguments, next, rules, onOption)
                                   : scanShortOptions(arguments, next, rules, onOption));
    }
    return success();
}

int refuseCommandLine(std::ostream& err, std::string_view program, const std::string& reason) {
    err << program << ": " << reason << "\nTry '" << program << " --help' for more information.\n";
    return kExitUsage;
}

io::TemporaryFiles* watchInterruptions(io::InterruptionWatcher& interruptions, std::ostream& err,
                                       std::string_view program) {
    if (interruptions.start()) return &interruptions.temporaries();
    err << formatProgramMessage(program, kOutOfMemory) << '\n';
    return nullptr;
}

int runProgram(std::string_view program, int argc, char** argv, const ProgramBody& body) {
    std::ios::sync_with_stdio(false);
    io::failWritesInsteadOfSignals();
    io::InterruptionWatcher interruptions;
    io::CheckedOutputBuffer standardOutput;
    std::ostream out(&standardOutput);
    std::ostream& err = io::standardError();
    int status = kExitFailure;
    try {
        const std::vector<std::string> args = io::commandLineArguments(argc, argv);
        status = body(args, out, err, interruptions);
    } catch (const std::bad_alloc&) {
        err << formatProgramMessage(program, kOutOfMemory) << '\n';
    }
    if (const Status written = standardOutput.finish(); !written) {
        err << formatProgramMessage(program, "cannot write to standard output: " + written.reason()) << '\n';
        if (status == kExitSuccess) status = kExitFailure;
    }
    return status;
}

}  // namespace kvz
