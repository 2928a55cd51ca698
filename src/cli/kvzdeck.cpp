#include "cli/kvzdeck.h"

#include <array>
#include <string_view>
#include <vector>

#include "cli/program.h"
#include "common/version.h"
#include "core/frontend.h"
#include "deck/deck.h"
#include "io/format_files.h"
#include "io/io.h"

namespace kvz {
namespace {

constexpr const char* kUsage =
    "Usage: kvzdeck build DECK.tsv DECK.kvz   build a KVZ deck from UTF-8 TSV\n"
    "       kvzdeck dump DECK.kvz             write a KVZ deck as UTF-8 TSV to standard output\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "  --             end of options (for file names that start with '-')\n"
    "\n"
    "The TSV holds the 8 group names, each on a line of its own and followed by\n"
    "its entries, one per line: long field, short fields 1 to 5, tab-separated.\n"
    "Lines starting with '#' are comments. Escapes: \\\\ \\t \\# \\xHH \\e.\n";

// The longest text read as a deck's table. The largest deck, 65535 entries
// in each of the 8 groups, each entry at most 256 bytes of Shift_JIS, takes
// at most 3 bytes of UTF-8 or 2 of UTF-16 for each byte: about 406 MB as
// UTF-8 and 276 MB as UTF-16 (tabs and line ends included), before
// comments and \xHH escapes. 512 MiB holds either with room to spare, and
// stops a device or a sparse file early.
constexpr std::size_t kLongestDeckText = std::size_t{512} << 20;

enum class Setting { help, version };
constexpr std::array kOptionSpecs{OptionSpec{"help", 'h', ""}, OptionSpec{"version", 'V', ""}};
constexpr std::array kSettings{Setting::help, Setting::version};
static_assert(kOptionSpecs.size() == kSettings.size());

struct Invocation {
    bool help = false;
    bool version = false;
    std::vector<std::string> operands;
};

// The text of a deck's table, or why there is none: a folder, a file that
// cannot be read, one longer than kLongestDeckText.
Result<std::string> readDeckText(const std::string& path) {
    if (io::isDirectory(path)) return fail(io::folderReason());
    Result<std::string> text = io::readTextWithin(path, kLongestDeckText);
    if (!text && text.failureKind() == FailureKind::tooLarge)
        return fail("is larger than any deck's text (at most " + std::to_string(kLongestDeckText) + " bytes)");
    return text;
}

class Deck {
public:
    Deck(std::ostream& out, std::ostream& err, io::InterruptionWatcher& interruptions)
        : out_(out), err_(err), interruptions_(interruptions) {}

    int run(const Invocation& invocation) {
        const std::vector<std::string>& operands = invocation.operands;
        if (operands.empty()) return refuseCommandLine(err_, kDeckProgram, "no command given");
        const std::string& command = operands.front();
        if (command == "build") {
            if (operands.size() != 3)
                return refuseCommandLine(err_, kDeckProgram, "build takes DECK.tsv and DECK.kvz");
            return build(operands[1], operands[2]);
        }
        if (command == "dump") {
            if (operands.size() != 2) return refuseCommandLine(err_, kDeckProgram, "dump takes one DECK.kvz");
            return dump(operands[1]);
        }
        return refuseCommandLine(err_, kDeckProgram, "unknown command '" + command + "'");
    }

private:
    int refuse(const std::string& where, const std::string& reason) {
        err_ << formatFileMessage(kDeckProgram, where, reason) << '\n';
        return kExitFailure;
    }

    int build(const std::string& tsvPath, const std::string& kvzPath) {
        if (io::sameFile(tsvPath, kvzPath))
            return refuseCommandLine(err_, kDeckProgram, kvzPath + " is the input file; not overwriting it");
        io::TemporaryFiles* temporaries = watchInterruptions(interruptions_, err_, kDeckProgram);
        if (!temporaries) return kExitFailure;
        const Result<std::string> tsv = readDeckText(tsvPath);
        if (!tsv) return refuse(tsvPath, tsv.reason());
        const Result<BuiltDeck> built = buildDeck(*tsv);
        if (!built) {
            err_ << formatProgramMessage(kDeckProgram, describeBuildRefusal(tsvPath, built.failure())) << '\n';
            return kExitFailure;
        }
        for (const std::string& warning : built->warnings)
            err_ << formatFileLineMessage(kDeckProgram, tsvPath, warning) << '\n';
        if (const Status written = io::replaceFile(kvzPath, built->kvz, temporaries); !written)
            return refuse(kvzPath, written.reason());
        return kExitSuccess;
    }

    int dump(const std::string& kvzPath) {
        const Result<std::vector<std::uint8_t>> bytes = readKvzRecords(kvzPath);
        if (!bytes) return refuse(kvzPath, bytes.reason());
        const Result<std::string> tsv = dumpKvz(*bytes);
        if (!tsv) return refuse(kvzPath, tsv.reason());
        out_ << *tsv << std::flush;
        return kExitSuccess;
    }

    std::ostream& out_;
    std::ostream& err_;
    io::InterruptionWatcher& interruptions_;
};

}  // namespace

int runKvzdeck(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               io::InterruptionWatcher& interruptions) {
    Invocation invocation;
    const Status scanned = scanArguments(
        args.subspan(args.empty() ? 0 : 1), kOptionSpecs,
        [&](std::size_t option, const std::string&) {
            (kSettings[option] == Setting::help ? invocation.help : invocation.version) = true;
            return success();
        },
        [&](const std::string& operand) { invocation.operands.push_back(operand); });
    if (!scanned) return refuseCommandLine(err, kDeckProgram, scanned.reason());
    if (invocation.help) {
        out << kUsage << std::flush;
        return kExitSuccess;
    }
    if (invocation.version) {
        out << kDeckProgram << " " << kVersion << "\n" << std::flush;
        return kExitSuccess;
    }
    return Deck(out, err, interruptions).run(invocation);
}

}  // namespace kvz
