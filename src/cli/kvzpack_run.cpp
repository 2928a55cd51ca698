#include "cli/kvzpack_run.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/kvzpack_options.h"
#include "cli/image_file.h"
#include "common/layout.h"
#include "common/text.h"
#include "common/version.h"
#include "core/frontend.h"
#include "io/format_files.h"
#include "io/io.h"
#include "io/journal.h"
#include "io/publish.h"

namespace kvz {
namespace {

// For a deck written as text and given as it is: the command that turns it
// into a deck.
std::string howToBuild(const std::string& file) {
    if (!file.ends_with(".tsv")) return "";
    return "; a deck written as text becomes one with 'kvzdeck build " + file + " " + fileStem(file) +
           ".kvz'";
}

void reportFailure(std::ostream& err, const std::string& file, const Failure& failure) {
    if (failure.kind == FailureKind::cannotOpen)
        err << formatCannotOpenMessage(file) << '\n';
    else if (failure.kind == FailureKind::notADeck)
        err << formatFileMessage(kPackProgram, file, failure.reason + howToBuild(file)) << '\n';
    else
        err << formatFileMessage(kPackProgram, file, failure.reason) << '\n';
}

void printProgress(std::ostream& err, int stage) {
    char line[16];
    std::snprintf(line, sizeof line, "[%03d]\r", stage);
    err << line << std::flush;
}

Status refuseInputAsOutput(const std::string& output, std::span<const std::string> inputs) {
    for (const std::string& input : inputs)
        if (io::sameFile(output, input))
            return fail("its output " + output + " is the input file " + input +
                        "; it would be overwritten");
    return success();
}

// Writes `contents` under a temporary name beside `path` and adds it to
// `staged`; published later.
Status stageOutput(std::vector<io::StagedFile>& staged, const std::string& path,
                   std::span<const std::uint8_t> contents, io::TemporaryFiles& temporaries) {
    auto file = io::StagedFile::create(path, &temporaries);
    if (!file) return fail("cannot write " + path + ": " + file.reason());
    if (auto written = file->write(contents); !written) return fail("cannot write " + path + ": " + written.reason());
    staged.push_back(std::move(file.value()));
    return success();
}

Failure internalError(const std::string& reason) { return fail("internal error: " + reason); }

// The staged preview, read back: byte for byte the PNG drawn.
Status verifyWrittenPreview(const io::StagedFile& staged, std::span<const std::uint8_t> png) {
    auto written = io::readTextWithin(staged.temporaryPath(), png.size());
    if (!written) return internalError("cannot read back the preview written: " + written.reason());
    if (*written != std::string_view(reinterpret_cast<const char*>(png.data()), png.size()))
        return internalError("the preview read back is not the one written");
    return success();
}

Status appendLogLine(const std::string& logName, const std::string& line) {
    return io::appendToFile(logName, line + "\r\n");
}

// The group names of the deck an image text holds, as kvzdeck dumps them
// (the lines without a tab), or nothing when it holds no deck.
std::optional<std::vector<std::string>> groupNamesOf(std::string_view hexText) {
    const Result<std::string> tsv = dumpHexTextDeck(hexText);
    if (!tsv) return std::nullopt;
    std::vector<std::string> names;
    for (const std::string_view line : closedLines(*tsv))
        if (!line.starts_with('#') && line.find('\t') == std::string_view::npos) names.emplace_back(line);
    return names;
}

std::string folderPart(const std::string& path) { return path.substr(0, io::fileNameStart(path)); }

// An existing file's contents as far as the check of `kind` reads them; a
// longer image text or log is refused as too large.
Result<std::string> readForCheck(const std::string& path, OutputKind kind) {
    const std::size_t limit = ownOutputReadLimit(kind);
    if (kind != OutputKind::preview) return io::readTextWithin(path, limit);
    Result<std::vector<std::uint8_t>> bytes = io::readFirstBytes(path, limit);
    KVZ_TRY(bytes);
    return std::string(bytes->begin(), bytes->end());
}

// Whether the output `path` may be replaced: nothing there, or a regular
// file that kvzpack wrote as `kind`. A folder keeps the reason publishing
// gives for it.
Status checkOwnOutput(const std::string& path, OutputKind kind) {
    switch (io::pathKind(path)) {
        case io::PathKind::missing: return success();
        case io::PathKind::folder: return fail("cannot write " + path + ": " + io::folderReason());
        case io::PathKind::other: return fail(describeNonRegularOutput(path));
        case io::PathKind::regular: break;
    }
    const Result<std::string> contents = readForCheck(path, kind);
    // A file that cannot even be read (another program holds it) cannot be
    // replaced either.
    if (!contents && contents.failureKind() != FailureKind::tooLarge) {
        // Gone since it was looked at: a run at the same time removed it (the
        // log it shares with this one).
        if (io::pathKind(path) == io::PathKind::missing) return success();
        return fail("cannot write " + path + ": " + contents.reason());
    }
    if (!contents || !isOwnOutput(kind, *contents)) return fail(describeForeignOutput(path, kind));
    return success();
}

// The lines of a log kvzpack wrote at `path`; none when there is no such log.
std::vector<std::string> readLogLines(const std::string& path) {
    if (io::pathKind(path) != io::PathKind::regular) return {};
    const Result<std::string> text = io::readTextWithin(path, ownOutputReadLimit(OutputKind::log));
    if (!text || !isOwnOutput(OutputKind::log, *text)) return {};
    std::vector<std::string> lines;
    for (std::string_view line : closedLines(*text)) {
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
    }
    return lines;
}

class Run {
public:
    Run(const Options& options, std::ostream& out, std::ostream& err, io::TemporaryFiles& temporaries)
        : options_(options),
          files_(options.files),
          out_(out),
          err_(err),
          temporaries_(temporaries),
          logName_(outputBase(options.files.front()) + ".log") {}

    int execute() {
        if (options_.outputDir && io::pathKind(*options_.outputDir) != io::PathKind::folder) {
            const std::string reason = io::pathExists(*options_.outputDir) ? "Not a directory" : "No such file or directory";
            err_ << formatFileMessage(kPackProgram, *options_.outputDir,
                                      "cannot write the outputs into it: " + reason)
                 << '\n';
            return kExitUsage;
        }
        if (const std::optional<std::string> device = deviceName()) {
            err_ << formatFileMessage(kPackProgram, *device, io::deviceNameReason() + "; nothing converted")
                 << '\n';
            return kExitUsage;
        }
        for (const std::string& file : files_) {
            if (io::sameFile(logName_, file)) {
                err_ << formatProgramMessage(kPackProgram, "the log " + logName_ + " is the input file " + file +
                                                               "; nothing converted")
                     << '\n';
                return kExitUsage;
            }
        }
        repairInterruptedRuns();
        if (Status removed = removeEarlierLog(); !removed) {
            err_ << formatProgramMessage(kPackProgram, removed.reason()) << '\n';
            return kExitFailure;
        }
        int failures = 0;
        for (const std::string& file : files_)
            if (!convertWithinMemory(file)) ++failures;
        return failures == 0 && !logFailed_ ? kExitSuccess : kExitFailure;
    }

private:
    using Clock = std::chrono::steady_clock;

    // Where the outputs of `file` go: its base name beside it, or in the
    // output folder.
    std::string outputBase(const std::string& file) const {
        const std::string base = fileStem(file);
        if (!options_.outputDir) return base;
        const std::string& folder = *options_.outputDir;
        const std::string name = base.substr(io::fileNameStart(base));
        return io::fileNameStart(folder) == folder.size() ? folder + name : folder + "/" + name;
    }

    // The first input, output or log name that the system would open as a
    // device; the inputs first, since the log's name comes from the first.
    std::optional<std::string> deviceName() const {
        for (const std::string& file : files_) {
            if (io::opensAsDevice(file)) return file;
            if (const std::string image = outputBase(file) + ".ihx"; io::opensAsDevice(image)) return image;
        }
        if (io::opensAsDevice(logName_)) return logName_;
        return std::nullopt;
    }

    // Sets that a killed run left half published in an output folder are
    // put right first, and the temporary files of one killed before it
    // published anything removed; each told.
    void repairInterruptedRuns() {
        std::set<std::string> folders;
        for (const std::string& file : files_) folders.insert(folderPart(outputBase(file)));
        for (const std::string& folder : folders) {
            const Result<std::optional<std::string>> repaired = io::repairInterruptedPublication(folder);
            if (!repaired) {
                err_ << formatProgramMessage(kPackProgram, repaired.reason()) << '\n';
                continue;
            }
            if (*repaired) err_ << formatFileMessage(kPackProgram, io::journalPath(folder), **repaired) << '\n';
            for (const std::string& told : io::removeAbandonedTemporaries(folder))
                err_ << formatProgramMessage(kPackProgram, told) << '\n';
        }
    }

    // The log of an earlier run goes, its lines kept in memory for the
    // split's check; anything else under its name stays, and so does a log
    // that cannot be removed, whose old lines this run's would follow: the
    // run then converts nothing.
    Status removeEarlierLog() {
        const io::PathKind kind = io::pathKind(logName_);
        if (kind == io::PathKind::missing) return success();
        if (kind == io::PathKind::folder) return cannotRemoveLog(io::folderReason());
        KVZ_TRY(checkOwnOutput(logName_, OutputKind::log));
        for (std::string& line : readLogLines(logName_)) earlierParts_.insert(std::move(line));
        if (Status removed = io::removeExistingFile(logName_); !removed) return cannotRemoveLog(removed.reason());
        return success();
    }

    Failure cannotRemoveLog(const std::string& reason) const {
        return fail("cannot remove " + logName_ + ", the log of an earlier run: " + reason +
                    "; its lines would stay before this run's, so nothing was converted: remove it, or write the "
                    "outputs elsewhere with --output-dir DIR");
    }

    // A deck too large for the memory at hand fails alone; the run goes on.
    bool convertWithinMemory(const std::string& file) {
        return withinMemory(
            kPackProgram, file, [&] { return convertFile(file); },
            [&](const std::string& line) {
                err_ << line << '\n';
                return false;
            });
    }

    bool convertFile(const std::string& file) {
        const Clock::time_point start = Clock::now();
        auto bytes = readKvzRecords(file);
        if (!bytes) return refuse(file, bytes.failure());
        auto deck = readDeck(*bytes);
        if (!deck) return refuse(file, deck.failure());
        if (!reportLosses(file, *deck)) return false;
        // With verification the image is checked as read back from its
        // written file, and the preview drawn from that image.
        const PackOptions packOptions{false, options_.preview && !options_.verify,
                                      options_.best ? Encoder::best : Encoder::standard};
        DeckConversion conversion =
            convertDeck(deck->file, outputBase(file), ConvertRequest{packOptions, options_.report, options_.split,
                                                          options_.maxParts.value_or(kDefaultMaxParts)},
                        [this](int stage) { printProgress(err_, stage); });
        const bool converted = conversion.images ? writeAndTell(file, *conversion.images, start)
                                                 : refuse(file, conversion.images.failure());
        // A deck too large is reported too, after its refusal.
        if (conversion.report) printLines(formatSpaceReport(file, *conversion.report));
        return converted;
    }

    // Writes the images and, once they are in place, tells each one's log
    // line (and summary with --verbose).
    bool writeAndTell(const std::string& file, std::vector<NamedImage>& images, Clock::time_point start) {
        const bool split = images.size() > 1;
        for (const NamedImage& image : images)
            for (const std::string& warning : image.packed.conversionWarnings)
                err_ << formatWarningMessage(kPackProgram, split ? image.name + ".ihx" : file, warning) << '\n';
        const auto tell = [&] {
            const std::chrono::duration<double> taken = Clock::now() - start;
            for (const NamedImage& image : images) {
                const std::string name = loggedName(file, image, images.size());
                logConversion(formatLogLine(name, image.packed.image.size()));
                if (options_.verbose)
                    out_ << formatSummary(name, image.packed.figures, taken.count()) << '\n' << std::flush;
            }
        };
        if (auto written = writeOutputs(images, tell); !written) return refuse(file, written.failure());
        if (split) warnAboutOlderParts(file, images.size());
        return true;
    }

    // Parts of an earlier split into more parts stay as they are: such a
    // name may as well be another deck's own output. Each is told.
    void warnAboutOlderParts(const std::string& file, std::size_t parts) {
        const std::string base = outputBase(file);
        for (std::size_t part = parts + 1;; ++part) {
            const std::string name = partName(base, part) + ".ihx";
            if (!io::pathExists(name)) return;
            err_ << formatWarningMessage(kPackProgram, file,
                                         name + " is not one of the " + std::to_string(parts) +
                                             " parts written now; it was left as it was")
                 << '\n';
        }
    }

    void printLines(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) out_ << line << '\n';
        out_ << std::flush;
    }

    // Warns about every text that a zero byte cuts short, every character
    // that will not show and every code that will show as another; under
    // --strict they fail the file. False when the file must not be converted.
    bool reportLosses(const std::string& file, const ReadDeck& deck) {
        const ToldLines losses = kvz::reportLosses(kPackProgram, file, deck, options_.strict);
        for (const std::string& line : losses.lines) err_ << line << '\n';
        return !losses.refused;
    }

    // Writes NAME.ihx and NAME.txt (and NAME.png with --preview) of every
    // image under temporary names, reads them back and checks them (unless
    // --no-verify), and publishes them all as one set; `tell` runs once they
    // are in place, before an interruption can end the run. None replaces an
    // older file unless all were written completely and found right.
    Status writeOutputs(std::vector<NamedImage>& images, const std::function<void()>& tell) {
        for (const NamedImage& image : images)
            for (const std::string& name : outputNames(image.name)) KVZ_TRY(refuseInputAsOutput(name, files_));
        for (const NamedImage& image : images) {
            const std::vector<std::string> names = outputNames(image.name);
            for (std::size_t i = 0; i < names.size(); ++i) KVZ_TRY(checkOwnOutput(names[i], kOutputKinds[i]));
        }
        if (images.size() > 1) KVZ_TRY(refuseOtherDecksParts(images));
        std::vector<io::StagedFile> staged;
        for (NamedImage& image : images) KVZ_TRY(stageImage(staged, image));
        std::vector<std::string> repairs;
        Status published = io::publishTogether(staged, temporaries_, tell, {}, &repairs);
        for (const std::string& repair : repairs) err_ << formatProgramMessage(kPackProgram, repair) << '\n';
        return published;
    }

    // A part's name that holds an image already is replaced only when that
    // image is an earlier part of this deck: one whose group names are the
    // deck's (every part holds all eight), or one that a log tells a split
    // wrote there (this run's log as it was at the start or since, or the log
    // named after the deck). Any other image there (the deck "NAME-3.kvz"
    // converted on its own) is another deck's.
    //
    // The numbered text holds the same image, so it is looked at too: the
    // other deck's NAME-3.txt is its own even where its .ihx is gone.
    Status refuseOtherDecksParts(const std::vector<NamedImage>& images) {
        std::set<std::string> known = earlierParts_;
        const std::string deckLog = splitDeckName(images.front().name) + ".log";
        for (std::string& line : readLogLines(deckLog)) known.insert(std::move(line));
        for (const NamedImage& image : images) {
            const std::string imagePath = image.name + ".ihx";
            for (const bool numbered : {false, true}) {
                const std::string path = numbered ? image.name + ".txt" : imagePath;
                if (io::pathKind(path) != io::PathKind::regular) continue;
                const Result<std::string> text = io::readTextWithin(
                    path, ownOutputReadLimit(numbered ? OutputKind::numberedImage : OutputKind::image));
                const std::optional<std::string> hexText =
                    !text ? std::nullopt : numbered ? unnumberedImageText(*text) : std::optional(*text);
                if (hexText && isEarlierPart(*hexText, imagePath, known, image.packed.hexText)) continue;
                return fail(path + " exists and holds another deck's image (not this deck's group names, and no log "
                                   "lists it as a part); " +
                            std::string(kOutputWayOut));
            }
        }
        return success();
    }

    // Whether the image text found under a part's name is an earlier part of
    // the deck whose part `partHexText` is: a log lists it under `imagePath`
    // with its range, or it holds the same group names.
    static bool isEarlierPart(const std::string& hexText, const std::string& imagePath,
                              const std::set<std::string>& known, const std::string& partHexText) {
        const std::optional<std::uint32_t> end = ownImageTextEnd(hexText, false);
        if (end && *end > kLoadAddress && known.contains(formatLogLine(imagePath, *end - kLoadAddress))) return true;
        const auto names = groupNamesOf(hexText);
        return names && names == groupNamesOf(partHexText);
    }

    static constexpr std::array kOutputKinds{OutputKind::image, OutputKind::numberedImage, OutputKind::preview};

    std::vector<std::string> outputNames(const std::string& base) const {
        return imageFileNames(base, options_.preview);
    }

    Status stageImage(std::vector<io::StagedFile>& staged, NamedImage& image) {
        const std::vector<std::string> names = outputNames(image.name);
        PackedDeck& packed = image.packed;
        const std::size_t first = staged.size();
        KVZ_TRY(stageOutput(staged, names[0], io::asBytes(packed.hexText), temporaries_));
        KVZ_TRY(stageOutput(staged, names[1], io::asBytes(packed.numberedHexText), temporaries_));
        if (options_.verify) {
            auto read = verifyWrittenImage(staged[first].temporaryPath(), staged[first + 1].temporaryPath(),
                                           packed.image.size(), image.deck, packed.charTable);
            if (!read) return internalError(read.reason());
            if (options_.preview) {
                auto png = previewPngOf(*read);
                KVZ_TRY(png);
                packed.png = std::move(png.value());
            }
        }
        if (options_.preview) {
            KVZ_TRY(stageOutput(staged, names[2], packed.png, temporaries_));
            if (options_.verify) KVZ_TRY(verifyWrittenPreview(staged[first + 2], packed.png));
        }
        return success();
    }

    bool refuse(const std::string& file, const Failure& failure) {
        reportFailure(err_, file, failure);
        return false;
    }

    // The line goes to standard output even when the log fails; that failure
    // is told once per run and fails the run, whose record is incomplete.
    void logConversion(const std::string& line) {
        if (auto logged = appendLogLine(logName_, line); !logged && !logFailed_) {
            const std::string what = "cannot append to the log " + logName_ + ": " + logged.reason();
            err_ << formatProgramMessage(kPackProgram, what) << '\n';
            logFailed_ = true;
        }
        earlierParts_.insert(line);
        out_ << line << '\n' << std::flush;
    }

    const Options& options_;
    std::span<const std::string> files_;
    std::ostream& out_;
    std::ostream& err_;
    io::TemporaryFiles& temporaries_;
    std::string logName_;
    std::set<std::string> earlierParts_;  // log lines of earlier splits, and of this run
    bool logFailed_ = false;
};

int inspectImage(const std::string& path, const std::optional<EntrySelection>& entry, std::ostream& out,
                 std::ostream& err) {
    const auto refuse = [&](const std::string& reason) {
        err << formatFileMessage(kPackProgram, path, reason) << '\n';
        return kExitFailure;
    };
    if (io::opensAsDevice(path)) {
        err << formatFileMessage(kPackProgram, path, io::deviceNameReason()) << '\n';
        return kExitUsage;
    }
    auto text = readImageText(path);
    if (!text) return refuse(text.failureKind() == FailureKind::cannotOpen ? "cannot open: " + text.reason()
                                                                            : text.reason());
    const InspectionReport inspection = reportInspection(*text, path, entry);
    for (const std::string& line : inspection.lines) err << line << '\n';
    if (!inspection.inspected) return kExitFailure;
    out << inspection.inspected->text << std::flush;
    return kExitSuccess;
}

void printUsage(std::ostream& err, const std::string& program) {
    err << "USAGE: " << program << " [KVZ file] ...\n";
}

}  // namespace

int runKvzpack(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               io::InterruptionWatcher& interruptions) {
    const std::string program = args.empty() ? std::string(kPackProgram) : args[0];
    if (args.size() <= 1) {
        printUsage(err, program);
        return kExitSuccess;
    }
    auto options = parseCommandLine(args.subspan(1));
    if (!options) {
        return refuseCommandLine(err, kPackProgram, options.reason());
    }
    if (options->help) {
        out << helpText() << std::flush;
        return kExitSuccess;
    }
    if (options->version) {
        out << kPackProgram << " " << kVersion << "\n" << std::flush;
        return kExitSuccess;
    }
    if (options->inspect) return inspectImage(*options->inspect, options->entry, out, err);
    if (options->files.empty()) {
        printUsage(err, program);
        return kExitSuccess;
    }
    io::TemporaryFiles* temporaries = watchInterruptions(interruptions, err, kPackProgram);
    if (!temporaries) return kExitFailure;
    return Run(*options, out, err, *temporaries).execute();
}

}  // namespace kvz
