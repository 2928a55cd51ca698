#include "driver/driver.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/convert.h"
#include "driver/output.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"

namespace kvz {
namespace {

#ifdef _WIN32
constexpr std::string_view kPathSeparators = "/\\";
#else
constexpr std::string_view kPathSeparators = "/";
#endif

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string formatRange(const std::string& argument, std::size_t imageSize) {
    char range[32];
    std::snprintf(range, sizeof range, ":%04X-%04X", kLoadAddress,
                  static_cast<unsigned>(kLoadAddress + imageSize - 1));
    return argument + range;
}

void reportFailure(std::ostream& err, const std::string& file, const Failure& failure) {
    if (failure.kind == FailureKind::cannotOpen)
        err << "Cannot open " << file << '\n';
    else
        err << "kvzpack: " << file << ": " << failure.reason << '\n';
}

void printProgress(std::ostream& err, int stage) {
    char line[16];
    std::snprintf(line, sizeof line, "[%03d]\r", stage);
    err << line << std::flush;
}

Status refuseInputAsOutput(const std::string& output, std::span<const std::string> inputs) {
    for (const std::string& input : inputs)
        if (sameFile(output, input))
            return fail("its output " + output + " is the input file " + input +
                        "; it would be overwritten");
    return success();
}

// A reason about the temporary file, told about the file the user asked for.
std::string nameTheFinalFile(std::string reason, const std::string& temporary, const std::string& path) {
    for (std::size_t at = reason.find(temporary); at != std::string::npos; at = reason.find(temporary, at))
        reason.replace(at, temporary.size(), path);
    return reason;
}

Result<StagedFile> stageHexFile(const std::string& path, const std::vector<std::uint8_t>& image,
                                bool numbered) {
    auto staged = StagedFile::create(path);
    if (!staged) return staged.failure();
    auto written = writeHexAbs(staged->temporaryPath(), image, kLoadAddress, numbered);
    if (!written) return fail(nameTheFinalFile(written.reason(), staged->temporaryPath(), path));
    return std::move(staged.value());
}

// Writes NAME.ihx and NAME.txt; neither replaces an older file unless both
// were written completely.
Status writeOutputs(const std::string& argument, const std::vector<std::uint8_t>& image,
                    std::span<const std::string> inputs) {
    const std::string base = getBaseFileName(argument);
    const std::string hexName = base + ".ihx", numberedName = base + ".txt";
    for (const std::string& name : {hexName, numberedName})
        if (auto refused = refuseInputAsOutput(name, inputs); !refused) return refused;
    auto hex = stageHexFile(hexName, image, false);
    if (!hex) return hex.failure();
    auto numbered = stageHexFile(numberedName, image, true);
    if (!numbered) return numbered.failure();
    if (auto done = hex->commit(); !done) return done;
    return numbered->commit();
}

Status appendLogLine(const std::string& logName, const std::string& line) {
    std::unique_ptr<std::FILE, FileCloser> log(std::fopen(logName.c_str(), "ab"));
    if (!log) return fail(std::strerror(errno));
    const std::string text = line + "\r\n";
    if (std::fwrite(text.data(), 1, text.size(), log.get()) != text.size() ||
        std::fflush(log.get()) != 0)
        return fail(std::strerror(errno));
    if (std::fclose(log.release()) != 0) return fail(std::strerror(errno));
    return success();
}

class Run {
public:
    Run(std::span<const std::string> files, std::ostream& out, std::ostream& err)
        : files_(files), out_(out), err_(err), logName_(getBaseFileName(files.front()) + ".log") {}

    int execute() {
        for (const std::string& file : files_) {
            if (sameFile(logName_, file)) {
                err_ << "kvzpack: the log " << logName_ << " is the input file " << file
                     << "; nothing converted\n";
                return kExitUsage;
            }
        }
        ::unlink(logName_.c_str());
        int failures = 0;
        for (const std::string& file : files_)
            if (!convertFile(file)) ++failures;
        return failures == 0 ? kExitSuccess : kExitFailure;
    }

private:
    bool convertFile(const std::string& file) {
        auto deck = readKvzFile(file);
        if (!deck) return refuse(file, deck.failure());
        auto conversion = convertKvz(*deck, [this](int stage) { printProgress(err_, stage); });
        if (!conversion) return refuse(file, conversion.failure());
        if (auto written = writeOutputs(file, conversion->image, files_); !written)
            return refuse(file, written.failure());
        logConversion(formatRange(file, conversion->image.size()));
        return true;
    }

    bool refuse(const std::string& file, const Failure& failure) {
        reportFailure(err_, file, failure);
        return false;
    }

    void logConversion(const std::string& line) {
        if (auto logged = appendLogLine(logName_, line); !logged) {
            err_ << "kvzpack: cannot append to the log " << logName_ << ": " << logged.reason() << '\n';
            return;
        }
        out_ << line << '\n' << std::flush;
    }

    std::span<const std::string> files_;
    std::ostream& out_;
    std::ostream& err_;
    std::string logName_;
};

}  // namespace

std::string getBaseFileName(std::string_view path) {
    const std::size_t separator = path.find_last_of(kPathSeparators);
    const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) return std::string(path);
    return std::string(path.substr(0, dot));
}

int runKvzpack(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.size() <= 1) {
        err << "USAGE: " << (args.empty() ? "kvzpack" : args[0]) << " [KVZ file] ...\n";
        return kExitSuccess;
    }
    return Run(args.subspan(1), out, err).execute();
}

}  // namespace kvz
