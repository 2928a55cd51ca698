#include "cli/kvzpack_options.h"

#include <array>
#include <charconv>
#include <optional>

#include "input/kvz.h"

namespace kvz {
namespace {

enum class Setting { help, version, verbose, preview, strict, noVerify, best, report, split, inspect, entry, outputDir, maxParts };

// The options in the order of kSettings.
constexpr std::array kOptionRules{
    OptionRule{"help", 'h', ""},          OptionRule{"version", 'V', ""},
    OptionRule{"verbose", 'v', ""},       OptionRule{"preview", 0, ""},
    OptionRule{"strict", 0, ""},          OptionRule{"no-verify", 0, ""},
    OptionRule{"best", 0, ""},            OptionRule{"report", 0, ""},
    OptionRule{"split", 0, ""},           OptionRule{"inspect", 0, "an image file"},
    OptionRule{"entry", 0, "G or G:N"},   OptionRule{"output-dir", 'o', "DIR"},
    OptionRule{"max-parts", 0, "a number of parts"},
};
constexpr std::array kSettings{Setting::help,    Setting::version, Setting::verbose,  Setting::preview,
                               Setting::strict,  Setting::noVerify, Setting::best,    Setting::report,
                               Setting::split,   Setting::inspect, Setting::entry,  Setting::outputDir,
                               Setting::maxParts};

// --max-parts: from 2 up to every entry a deck can hold.
constexpr int kMostParts = 8 * 0xFFFF;
static_assert(kOptionRules.size() == kSettings.size());

// Reads a number in full; false on anything else or a value above `max`.
bool parseNumber(std::string_view text, int max, int& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value >= 0 && value <= max;
}

Status applyOption(Options& options, Setting setting, const std::string& value) {
    switch (setting) {
        case Setting::help: options.help = true; break;
        case Setting::version: options.version = true; break;
        case Setting::verbose: options.verbose = true; break;
        case Setting::preview: options.preview = true; break;
        case Setting::strict: options.strict = true; break;
        case Setting::noVerify: options.verify = false; break;
        case Setting::best: options.best = true; break;
        case Setting::report: options.report = true; break;
        case Setting::split: options.split = true; break;
        case Setting::inspect:
            if (options.inspect) return fail("option '--inspect' given twice: it reads one image");
            options.inspect = value;
            break;
        case Setting::entry: return storeParsed(parseEntrySelection(value), options.entry);
        case Setting::outputDir:
            if (value.empty()) return fail("option '--output-dir' needs DIR, not an empty name");
            options.outputDir = value;
            break;
        case Setting::maxParts: {
            int parts = 0;
            if (!parseNumber(value, kMostParts, parts) || parts < 2)
                return fail("invalid number of parts '" + value + "': expected a number from 2 to " +
                            std::to_string(kMostParts));
            options.maxParts = static_cast<std::size_t>(parts);
            break;
        }
    }
    return success();
}

// The first option given that only a conversion reads, or none.
std::optional<std::string_view> conversionOptionOf(const Options& options) {
    if (options.verbose) return "--verbose";
    if (options.preview) return "--preview";
    if (options.strict) return "--strict";
    if (!options.verify) return "--no-verify";
    if (options.best) return "--best";
    if (options.report) return "--report";
    if (options.split) return "--split";
    if (options.outputDir) return "--output-dir";
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
    if (options.maxParts && !options.split) return fail("option '--max-parts' needs '--split'");
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
    KVZ_TRY(scanArguments(
        arguments, kOptionRules,
        [&](std::size_t option, const std::string& value) { return applyOption(options, kSettings[option], value); },
        [&](const std::string& file) { options.files.push_back(file); }));
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
           "FILE (FILE.log) and printed. A log of an earlier run is deleted at the\n"
           "start of every run. An output is only ever written over a file that\n"
           "kvzpack wrote there; any other file in its way fails its FILE.\n"
           "\n"
           "Options:\n"
           "      --best             write the smallest image this kvzpack can find (slower;\n"
           "                         the device reads it exactly like the default one)\n"
           "  -v, --verbose          after each file's line, print its texts, characters,\n"
           "                         phrases, sizes and the time taken; with --best also\n"
           "                         the default encoding's stream size and the saving\n"
           "      --split            a deck too large for the device becomes the fewest\n"
           "                         images of about equal entry counts that fit:\n"
           "                         FILE-1.ihx, FILE-1.txt, FILE-2.ihx, ... (entries in\n"
           "                         file order, every part under the 8 group names);\n"
           "                         a deck that needs more than 64 parts is refused\n"
           "      --max-parts N      with --split: allow up to N parts instead of 64\n"
           "      --report           after each file's lines, print where its image's\n"
           "                         bytes go: each group's entries and stream bytes (by\n"
           "                         number and name), the phrase table, the glyphs, the\n"
           "                         ten costliest entries (by place and word), and how\n"
           "                         far the deck is from the device's limit\n"
           "      --preview          also write FILE.png: every text drawn with the\n"
           "                         image's own glyphs\n"
           "  -o, --output-dir DIR   write the images, numbered texts, previews and the\n"
           "                         log into the folder DIR instead of beside each FILE\n"
           "      --strict           a character without a glyph, a code that is not\n"
           "                         Shift_JIS, or a text cut short by a zero byte, fails\n"
           "                         its file\n"
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
