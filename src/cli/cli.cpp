#include "cli/cli.h"

#include <array>
#include <charconv>
#include <optional>

#include "input/kvz.h"

namespace kvz {
namespace {

enum class Flag { help, version, verbose, preview, strict, noVerify, best };
enum class Valued { inspect, entry };

struct FlagOption {
    std::string_view name;  // long name without "--"
    char shortName;         // 0: none
    Flag flag;
};

struct ValuedOption {
    std::string_view name;
    std::string_view valueName;  // for "option '--x' needs VALUE"
    Valued option;
};

constexpr std::array kFlags{
    FlagOption{"help", 'h', Flag::help},        FlagOption{"version", 'V', Flag::version},
    FlagOption{"verbose", 'v', Flag::verbose},  FlagOption{"preview", 0, Flag::preview},
    FlagOption{"strict", 0, Flag::strict},      FlagOption{"no-verify", 0, Flag::noVerify},
    FlagOption{"best", 0, Flag::best},
};

constexpr std::array kValued{
    ValuedOption{"inspect", "an image file", Valued::inspect},
    ValuedOption{"entry", "G or G:N", Valued::entry},
};

void setFlag(Options& options, Flag flag) {
    switch (flag) {
        case Flag::help: options.help = true; break;
        case Flag::version: options.version = true; break;
        case Flag::verbose: options.verbose = true; break;
        case Flag::preview: options.preview = true; break;
        case Flag::strict: options.strict = true; break;
        case Flag::noVerify: options.verify = false; break;
        case Flag::best: options.best = true; break;
    }
}

Status setValue(Options& options, Valued option, const std::string& value) {
    if (option == Valued::inspect) {
        if (options.inspect) return fail("option '--inspect' given twice: it reads one image");
        options.inspect = value;
        return success();
    }
    auto entry = parseEntrySelection(value);
    KVZ_TRY(entry);
    options.entry = *entry;
    return success();
}

Failure unknownOption(std::string_view argument) {
    return fail("unknown option '" + std::string(argument) + "'");
}

// Reads a number in full; false on anything else or a value above `max`.
bool parseNumber(std::string_view text, int max, int& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value >= 0 && value <= max;
}

// "--name" or "--name=value"; `next` is the index of the following argument
// and moves past it when that argument is the option's value.
Status parseLongOption(std::span<const std::string> arguments, std::size_t& next, Options& options) {
    const std::string& argument = arguments[next - 1];
    const std::string_view body = std::string_view(argument).substr(2);
    const std::size_t equals = body.find('=');
    const std::string_view name = body.substr(0, equals);
    for (const FlagOption& flag : kFlags) {
        if (flag.name != name) continue;
        if (equals != std::string_view::npos)
            return fail("option '--" + std::string(name) + "' takes no value");
        setFlag(options, flag.flag);
        return success();
    }
    for (const ValuedOption& valued : kValued) {
        if (valued.name != name) continue;
        if (equals != std::string_view::npos)
            return setValue(options, valued.option, std::string(body.substr(equals + 1)));
        if (next >= arguments.size())
            return fail("option '--" + std::string(name) + "' needs " + std::string(valued.valueName));
        return setValue(options, valued.option, arguments[next++]);
    }
    return unknownOption(equals == std::string_view::npos ? argument : argument.substr(0, equals + 2));
}

// "-hVv" and the like: one or more short flags.
Status parseShortOptions(std::string_view argument, Options& options) {
    for (const char letter : argument.substr(1)) {
        bool known = false;
        for (const FlagOption& flag : kFlags) {
            if (flag.shortName != 0 && flag.shortName == letter) {
                setFlag(options, flag.flag);
                known = true;
            }
        }
        if (!known) return unknownOption(std::string("-") + letter);
    }
    return success();
}

// The first option given that only a conversion reads, or none.
std::optional<std::string_view> conversionOptionOf(const Options& options) {
    if (options.verbose) return "--verbose";
    if (options.preview) return "--preview";
    if (options.strict) return "--strict";
    if (!options.verify) return "--no-verify";
    return std::nullopt;
}

// The name with its line breaks written as \n and \r, so that the message
// stays on one line.
std::string showLineBreaks(std::string_view name) {
    std::string shown;
    for (const char c : name) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else
            shown += c;
    }
    return shown;
}

Status checkCombination(const Options& options) {
    if (options.entry && !options.inspect) return fail("option '--entry' needs '--inspect'");
    if (options.inspect && !options.files.empty())
        return fail("'--inspect' reads one image and converts no files: '" + options.files.front() +
                    "' is one too many");
    if (const auto option = conversionOptionOf(options); option && options.inspect)
        return fail("option '" + std::string(*option) + "' converts files and does not go with '--inspect'");
    for (const std::string& file : options.files)
        if (file.find_first_of("\r\n") != std::string::npos)
            return fail(showLineBreaks(file) + ": a file name holding a line break would split the log's lines");
    return success();
}

}  // namespace

Result<EntrySelection> parseEntrySelection(std::string_view text) {
    const auto refuse = [&] {
        return fail("invalid entry '" + std::string(text) +
                    "': expected G (a group's name) or G:N (entry N of group G), G from 0 to 7");
    };
    EntrySelection selection;
    const std::size_t colon = text.find(':');
    if (!parseNumber(text.substr(0, colon), static_cast<int>(kGroupCount) - 1, selection.group))
        return refuse();
    if (colon != std::string_view::npos && !parseNumber(text.substr(colon + 1), 0xFFFF, selection.entry))
        return refuse();
    return selection;
}

Result<Options> parseCommandLine(std::span<const std::string> arguments) {
    Options options;
    bool optionsEnded = false;
    std::size_t next = 0;
    while (next < arguments.size()) {
        const std::string& argument = arguments[next++];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);  // "-" alone is a file name too
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const Status parsed = argument[1] == '-' ? parseLongOption(arguments, next, options)
                                                 : parseShortOptions(argument, options);
        KVZ_TRY(parsed);
    }
    if (options.help || options.version) return options;
    KVZ_TRY(checkCombination(options));
    return options;
}

std::string helpText() {
    return "Usage: kvzpack [OPTION]... FILE.kvz...\n"
           "       kvzpack --inspect IMAGE.ihx [--entry G[:N]]\n"
           "Convert KVZ decks into device images. Each FILE.kvz gives FILE.ihx (Intel HEX,\n"
           "placed at 0x05D0) and FILE.txt (the same lines, numbered) beside it; the\n"
           "address range of each image is appended to the log named after the first\n"
           "FILE (FILE.log) and printed. A file of that log's name is deleted at the\n"
           "start of every run.\n"
           "\n"
           "Options:\n"
           "      --best             write the smallest image this kvzpack can find (slower;\n"
           "                         the device reads it exactly like the default one)\n"
           "  -v, --verbose          after each file's line, print its texts, characters,\n"
           "                         phrases, sizes and the time taken; with --best also\n"
           "                         the default encoding's stream size and the saving\n"
           "      --preview          also write FILE.png: every text drawn with the\n"
           "                         image's own glyphs\n"
           "      --strict           a character without a glyph, or a text cut short by a\n"
           "                         zero byte, fails its file\n"
           "      --no-verify        do not read back and check each image written\n"
           "      --inspect IMAGE    print the summary of an image written earlier\n"
           "      --entry G[:N]      with --inspect: draw entry N of group G (both from 0),\n"
           "                         or group G's name\n"
           "  -h, --help             show this help and exit\n"
           "  -V, --version          show the version and exit\n"
           "      --                 end of options; every later argument is a file\n"
           "\n"
           "Options and files may come in any order. Long options are written in full;\n"
           "a value follows as the next argument or after '='.\n"
           "\n"
           "Exit status: 0 when every file converted, 1 when any file failed or the log\n"
           "or standard output could not be written, 2 when the command line was\n"
           "refused, 128 + the signal's number when SIGINT, SIGTERM or SIGHUP ended the\n"
           "run (its temporary files removed, older outputs kept).\n";
}

}  // namespace kvz
