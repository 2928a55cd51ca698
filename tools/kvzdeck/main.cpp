// kvzdeck: builds a KVZ deck from UTF-8 TSV and dumps a KVZ deck as TSV.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "input/kvz.h"
#include "io/io.h"
#include "kvzdeck/deck.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

constexpr const char* kUsage =
    "Usage: kvzdeck build DECK.tsv DECK.kvz   build a KVZ deck from UTF-8 TSV\n"
    "       kvzdeck dump DECK.kvz             write a KVZ deck as UTF-8 TSV to standard output\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "  --             end of options (for file names that start with '-')\n"
    "\n"
    "The TSV holds the 8 group names, each on a line of its own and followed by\n"
    "its entries, one per line: long field, short fields 1 to 5, tab-separated.\n"
    "Lines starting with '#' are comments. Escapes: \\\\ \\t \\# \\xHH \\e.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "kvzdeck: %s\nTry 'kvzdeck --help' for more information.\n", message.c_str());
    return kUsageError;
}

int failure(const std::string& where, const std::string& reason) {
    std::fprintf(stderr, "kvzdeck: %s: %s\n", where.c_str(), reason.c_str());
    return kFailed;
}

int build(const std::string& tsvPath, const std::string& kvzPath) {
    if (kvz::io::sameFile(tsvPath, kvzPath)) return usageError(kvzPath + " is the input file; not overwriting it");
    if (kvz::io::isDirectory(tsvPath)) return failure(tsvPath, std::strerror(EISDIR));
    const kvz::Result<std::string> tsv = kvz::io::readTextFile(tsvPath);
    if (!tsv) return failure(tsvPath, tsv.reason());
    const kvz::Result<std::vector<std::uint8_t>> kvz = kvz::buildKvz(*tsv);
    if (!kvz) {  // the reason starts with the line number
        std::fprintf(stderr, "kvzdeck: %s:%s\n", tsvPath.c_str(), kvz.reason().c_str());
        return kFailed;
    }
    if (const kvz::Status written = kvz::io::replaceFile(kvzPath, *kvz); !written)
        return failure(kvzPath, written.reason());
    return 0;
}

int dump(const std::string& kvzPath) {
    const kvz::Result<std::vector<std::uint8_t>> bytes = kvz::readKvzRecords(kvzPath);
    if (!bytes) return failure(kvzPath, bytes.reason());
    const kvz::Result<std::string> tsv = kvz::dumpKvz(*bytes);
    if (!tsv) return failure(kvzPath, tsv.reason());
    std::fwrite(tsv->data(), 1, tsv->size(), stdout);
    return 0;
}

// Every program checks that what it wrote on standard output arrived.
int checkStandardOutput(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    std::fprintf(stderr, "kvzdeck: cannot write to standard output: %s\n", std::strerror(errno));
    return status == 0 ? kFailed : status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            operands.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return checkStandardOutput(0);
        } else if (arg == "--version") {
            std::printf("kvzdeck %s\n", KVZPACK_VERSION);
            return checkStandardOutput(0);
        } else {
            return usageError("unknown option '" + std::string(arg) + "'");
        }
    }
    if (operands.empty()) return usageError("no command given");
    const std::string& command = operands.front();
    if (command == "build") {
        if (operands.size() != 3) return usageError("build takes DECK.tsv and DECK.kvz");
        return build(operands[1], operands[2]);
    }
    if (command == "dump") {
        if (operands.size() != 2) return usageError("dump takes one DECK.kvz");
        return checkStandardOutput(dump(operands[1]));
    }
    return usageError("unknown command '" + command + "'");
}
