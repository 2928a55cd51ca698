#include "cli/kvzdeck.h"

#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/program.h"
#include "common/version.h"
#include "cli/kvzpack_run.h"
#include "cli/image_file.h"
#include "core/frontend.h"
#include "deck/anki_package.h"
#include "deck/deck.h"
#include "deck/deck_input.h"
#include "deck/table.h"
#include "deck/utf8.h"
#include "io/format_files.h"
#include "io/io.h"
#include "io/publish.h"
#include "package/package_libraries.h"

namespace kvz {
namespace {

constexpr const char* kUsage =
    "Usage: kvzdeck build [OPTIONS] INPUT DECK.kvz   build a KVZ deck from a table or kvzdeck's TSV\n"
    "       kvzdeck dump DECK.kvz                  write a KVZ deck as kvzdeck's TSV to standard output\n"
    "       kvzdeck dump IMAGE.ihx                 write the deck an image holds as kvzdeck's TSV\n"
    "       kvzdeck list PACKAGE.apkg              list an Anki package's decks and note types\n"
    "\n"
    "INPUT is kvzdeck's own TSV layout, a CSV or TSV table with one row per card\n"
    "(LibreOffice, Excel, Google Sheets), or a flashcard program's plain-text export\n"
    "(Anki's \"Notes in Plain Text\"), in UTF-8 (with or without a byte order mark),\n"
    "UTF-16 with a byte order mark, or CP932 (Shift_JIS): the encoding is detected.\n"
    "INPUT may also be an Anki package, a shared deck (.apkg) or a collection\n"
    "(.colpkg): its notes become cards as its plain-text export's would.\n"
    "\n"
    "Options of build:\n"
    "  --columns LIST     what each column fills, in order: long, short1 to short5,\n"
    "                     group, - to skip it (e.g. --columns group,short1,short2,long),\n"
    "                     or by the header row's own names, in any order\n"
    "                     (e.g. --columns 'word=short1,meaning=long,lesson=group');\n"
    "                     else a header row of these names, or for an export its\n"
    "                     default (front: short1, back: long, more: short2 to short5);\n"
    "                     for an Anki package, by its note types' field names\n"
    "                     (e.g. --columns Expression=short1,Meaning=long,Reading=short2)\n"
    "  --deck NAME        of an Anki package, the notes of deck NAME and its subdecks\n"
    "  --header           the first row is a header row: no card\n"
    "  --no-header        the first row is a card, whatever it holds\n"
    "  --separator S      tab, comma, semicolon, space, pipe, colon or one character\n"
    "                     (default: the export's header, else the one that splits the\n"
    "                     first rows alike, else comma for .csv, else tab)\n"
    "  --encoding E       utf-8, utf-16le, utf-16be or cp932 instead of detecting it\n"
    "  --furigana M       base, reading or both: 漢字[かんじ] as 漢字, かんじ or 漢字(かんじ)\n"
    "                     (default base in exports; tables keep brackets unless given)\n"
    "  --group-size N     groups of N cards (default: one group named after the file);\n"
    "                     with a group column, its groups merged in their order\n"
    "  --decks            more than 8 groups: one deck of each 8, in their order,\n"
    "                     DECK-1.kvz, DECK-2.kvz, ..., written as one set\n"
    "  --cut              cut a field that is too long to its width, and say so\n"
    "  --replace C        put C (e.g. 〓) where a character has no Shift_JIS form\n"
    "  -v, --verbose      say which form and encoding the input was read as\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "  --             end of options (for file names that start with '-')\n"
    "\n"
    "kvzdeck's TSV holds the 8 group names, each on a line of its own and followed\n"
    "by its entries, one per line: long field, short fields 1 to 5, tab-separated.\n"
    "Lines starting with '#' are comments. Escapes: \\\\ \\t \\# \\xHH \\e.\n"
    "A build lists every refused line (up to 100) and then writes nothing.\n"
    "An empty cell or a field with no column is filled with an ideographic space.\n";


enum class Setting {
    help, version, verbose, columns, header, noHeader, separator, encoding, furigana, groupSize, decks, cut, replace,
    deck
};
constexpr std::array kOptionRules{OptionRule{"help", 'h', ""},          OptionRule{"version", 'V', ""},
                                  OptionRule{"verbose", 'v', ""},       OptionRule{"columns", 0, "LIST"},
                                  OptionRule{"header", 0, ""},          OptionRule{"no-header", 0, ""},
                                  OptionRule{"separator", 0, "S"},      OptionRule{"encoding", 0, "E"},
                                  OptionRule{"furigana", 0, "M"},       OptionRule{"group-size", 0, "N"},
                                  OptionRule{"decks", 0, ""},           OptionRule{"cut", 0, ""},
                                  OptionRule{"replace", 0, "C"},        OptionRule{"deck", 0, "NAME"}};
constexpr std::array kSettings{Setting::help,      Setting::version,  Setting::verbose,  Setting::columns,
                               Setting::header,    Setting::noHeader, Setting::separator, Setting::encoding,
                               Setting::furigana,  Setting::groupSize, Setting::decks,   Setting::cut,
                               Setting::replace,   Setting::deck};
static_assert(kOptionRules.size() == kSettings.size());

struct Invocation {
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool buildOptions = false;  // any option that only build takes
    DeckInputOptions input;
    std::optional<std::string> columns;  // as given
    std::optional<std::string> deck;     // --deck
    std::vector<std::string> operands;
};

Status applyOption(Setting setting, const std::string& value, Invocation& invocation) {
    DeckInputOptions& input = invocation.input;
    invocation.buildOptions = invocation.buildOptions || (setting != Setting::help && setting != Setting::version);
    switch (setting) {
        case Setting::help: invocation.help = true; break;
        case Setting::version: invocation.version = true; break;
        case Setting::verbose: invocation.verbose = true; break;
        case Setting::cut: input.fixes.cut = true; break;
        case Setting::decks: input.decks = true; break;
        case Setting::columns: {
            // An Anki package's note types may each name a field for a role;
            // a table's columns are checked again once the input is known.
            Result<ColumnList> columns = parseColumnList(value, true);
            KVZ_TRY(columns);
            invocation.columns = value;
            input.columns = std::move(columns->roles);
            input.namedColumns = std::move(columns->named);
            break;
        }
        case Setting::header:
        case Setting::noHeader: {
            const bool header = setting == Setting::header;
            if (input.headerRow && *input.headerRow != header) return fail("--header and --no-header exclude each other");
            input.headerRow = header;
            break;
        }
        case Setting::separator: return storeParsed(parseSeparatorOption(value), input.separator);
        case Setting::encoding: return storeParsed(parseEncodingOption(value), input.encoding);
        case Setting::furigana: return storeParsed(parseFuriganaOption(value), input.furigana);
        case Setting::groupSize: return storeParsed(parseGroupSizeOption(value), input.groupSize);
        case Setting::deck:
            if (value.empty()) return fail("option '--deck' takes the name of a deck");
            invocation.deck = value;
            break;
        case Setting::replace: return storeParsed(parseReplacementOption(value), input.fixes.replacement);
    }
    return success();
}

// The text of a deck's table, or why there is none: a folder, a file that
// cannot be read, one longer than kLongestDeckText.
Result<std::string> readDeckText(const std::string& path) {
    if (io::isDirectory(path)) return fail(io::folderReason());
    Result<std::string> text = io::readTextWithin(path, kLongestDeckText);
    if (!text && text.failureKind() == FailureKind::tooLarge)
        return fail(deckTextTooLarge());
    return text;
}

// One run of kvzdeck: its command (build or dump) on the operands given.
class KvzdeckRun {
public:
    KvzdeckRun(std::ostream& out, std::ostream& err, io::InterruptionWatcher& interruptions)
        : out_(out), err_(err), interruptions_(interruptions) {}

    int run(const Invocation& invocation) {
        const std::vector<std::string>& operands = invocation.operands;
        if (operands.empty()) return refuseCommandLine(err_, kDeckProgram, "no command given");
        const std::string& command = operands.front();
        if (command == "build") {
            if (operands.size() != 3)
                return refuseCommandLine(err_, kDeckProgram, "build takes DECK.tsv and DECK.kvz");
            return build(operands[1], operands[2], invocation);
        }
        if (command == "list") {
            if (invocation.buildOptions)
                return refuseCommandLine(err_, kDeckProgram, "list takes no options; they are build's");
            if (operands.size() != 2) return refuseCommandLine(err_, kDeckProgram, "list takes one PACKAGE.apkg");
            return list(operands[1]);
        }
        if (command == "dump") {
            if (invocation.buildOptions)
                return refuseCommandLine(err_, kDeckProgram, "dump takes no options; they are build's");
            if (operands.size() != 2) return refuseCommandLine(err_, kDeckProgram, "dump takes one DECK.kvz");
            return dump(operands[1]);
        }
        return refuseCommandLine(err_, kDeckProgram, "unknown command '" + inputExcerpt(command) + "'");
    }

private:
    int refuse(const std::string& where, const std::string& reason) {
        err_ << formatFileMessage(kDeckProgram, where, reason) << '\n';
        return kExitFailure;
    }

    // A name that Windows opens as a device is no file to read or write.
    std::optional<int> refuseDeviceName(const std::string& path) {
        if (!io::opensAsDevice(path)) return std::nullopt;
        err_ << formatFileMessage(kDeckProgram, path, io::deviceNameReason()) << '\n';
        return kExitUsage;
    }

    // kvzpack writes DECK's outputs beside it and replaces no file it did not
    // write: an input named like one of them (an export notes.txt built
    // into notes.kvz) would stop the conversion.
    void warnAboutOutputNames(const std::string& inputPath, const std::string& kvzPath) {
        const auto isInput = [&](const std::string& output) { return io::sameFile(inputPath, output); };
        for (const std::string& warning : kvz::warnAboutOutputNames(inputPath, kvzPath, isInput))
            err_ << warning << '\n';
    }

    int build(const std::string& inputPath, const std::string& kvzPath, const Invocation& invocation) {
        if (const std::optional<int> refused = refuseDeviceName(inputPath)) return *refused;
        if (const std::optional<int> refused = refuseDeviceName(kvzPath)) return *refused;
        if (io::sameFile(inputPath, kvzPath))
            return refuseCommandLine(err_, kDeckProgram, kvzPath + " is the input file; not overwriting it");
        if (io::pathKind(kvzPath) == io::PathKind::other)
            return refuse(kvzPath, "exists and is not a regular file; it is left as it is: write the deck to "
                                   "another name");
        io::TemporaryFiles* temporaries = watchInterruptions(interruptions_, err_, kDeckProgram);
        if (!temporaries) return kExitFailure;
        const bool packageNamed = isPackageName(inputPath);
        if (!packageNamed && invocation.columns) {
            if (const Result<ColumnList> strict = parseColumnList(*invocation.columns); !strict)
                return refuseCommandLine(err_, kDeckProgram, strict.reason());
        }
        const Result<std::string> bytes = packageNamed ? readPackage(inputPath) : readDeckText(inputPath);
        if (!bytes) return refuse(inputPath, bytes.reason());
        DeckInputOptions options = invocation.input;
        options.fileName = inputPath;
        options.deckName = kvzPath;
        const bool package = packageNamed || looksLikeZip(*bytes);
        if (invocation.deck && !package)
            return refuse(inputPath, "is no Anki package: --deck chooses a deck of a package (.apkg, .colpkg)");
        if (options.headerRow == false && !options.namedColumns.empty() && !package)
            return refuseCommandLine(err_, kDeckProgram, "--columns names header cells, and --no-header says there is no header row");
        std::vector<std::string> noteTypes;
        const Result<DeckInput> input =
            package ? readPackageDeck(*bytes, invocation, options, noteTypes) : readDeckInput(*bytes, options);
        ToldLines told = reportDeckBuild(inputPath, input, invocation.verbose);
        if (invocation.verbose && input) {
            // After the line that says what was read: the note types it held.
            for (std::size_t t = 0; t < noteTypes.size(); ++t)
                told.lines.insert(told.lines.begin() + static_cast<std::ptrdiff_t>(t + 1),
                                  formatFileMessage(kDeckProgram, inputPath, noteTypes[t]));
        }
        for (const std::string& line : told.lines) err_ << line << '\n';
        if (told.refused) return kExitFailure;
        const DeckCheck& check = input->check;
        if (options.decks) return writeSet(inputPath, kvzPath, input->parts, *temporaries);
        warnAboutOutputNames(inputPath, kvzPath);
        if (const Status written = io::replaceFile(kvzPath, check.kvz, temporaries); !written)
            return refuse(kvzPath, written.reason());
        return kExitSuccess;
    }

    // The decks of a set, all published or none, each then named with its groups.
    int writeSet(const std::string& inputPath, const std::string& kvzPath, const std::vector<DeckInput::Part>& parts,
                 io::TemporaryFiles& temporaries) {
        std::vector<std::string> names;
        for (std::size_t p = 0; p < parts.size(); ++p) {
            names.push_back(deckPartName(kvzPath, p + 1));
            if (io::sameFile(inputPath, names.back()))
                return refuseCommandLine(err_, kDeckProgram, names.back() + " is the input file; not overwriting it");
        }
        std::vector<io::StagedFile> staged;
        for (std::size_t p = 0; p < parts.size(); ++p) {
            Result<io::StagedFile> file = io::StagedFile::create(names[p], &temporaries);
            if (!file) return refuse(names[p], file.reason());
            if (const Status written = file->write(parts[p].kvz); !written) return refuse(names[p], written.reason());
            staged.push_back(std::move(*file));
        }
        const Status published = io::publishTogether(staged, temporaries);
        if (!published) {
            err_ << formatProgramMessage(kDeckProgram, published.reason() + "; no deck of the set written") << '\n';
            return kExitFailure;
        }
        for (std::size_t p = 0; p < parts.size(); ++p) {
            std::string groups;
            for (const std::string& group : parts[p].groups) groups += (groups.empty() ? "" : ", ") + group;
            say(names[p], (parts[p].groups.size() == 1 ? "group " : "groups ") + groups);
        }
        return kExitSuccess;
    }

    // The notes of a package as the deck its text export gives.
    static Result<DeckInput> readPackageDeck(const std::string& bytes, const Invocation& invocation,
                                             DeckInputOptions& options, std::vector<std::string>& noteTypes) {
        Result<AnkiCollection> collection = readCollection(bytes);
        KVZ_TRY(collection);
        if (invocation.deck) {
            collection = keepDeck(std::move(*collection), *invocation.deck);
            KVZ_TRY(collection);
        }
        noteTypes = describeNoteTypes(*collection);
        options.package = DeckInputOptions::Package{invocation.columns.value_or(""), invocation.deck.value_or("")};
        return readPackageInput(*collection, options);
    }

    static Result<AnkiCollection> readCollection(const std::string& bytes) {
        const std::optional<PackageLibraries> libraries = systemPackageLibraries();
        if (!libraries) return fail(std::string(kNoPackageReading));
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        return readAnkiPackage(ByteView(data, bytes.size()), *libraries);
    }

    static Result<std::string> readPackage(const std::string& path) {
        if (io::isDirectory(path)) return fail(io::folderReason());
        Result<std::string> bytes = io::readTextWithin(path, kLongestPackage);
        if (!bytes && bytes.failureKind() == FailureKind::tooLarge) return fail(packageTooLarge());
        return bytes;
    }

    int list(const std::string& path) {
        if (const std::optional<int> refused = refuseDeviceName(path)) return *refused;
        const Result<std::string> bytes = readPackage(path);
        if (!bytes) return refuse(path, bytes.reason());
        const Result<AnkiCollection> collection = readCollection(*bytes);
        if (!collection) return refuse(path, collection.reason());
        for (const std::string& line : describePackage(*collection)) out_ << line << '\n';
        out_ << std::flush;
        return kExitSuccess;
    }

    void say(const std::string& file, const std::string& text) {
        err_ << formatFileMessage(kDeckProgram, file, text) << '\n';
    }
    int dump(const std::string& path) {
        if (const std::optional<int> refused = refuseDeviceName(path)) return *refused;
        if (isImageFileName(path)) return dumpImage(path);
        const Result<std::vector<std::uint8_t>> bytes = readKvzRecords(path);
        if (!bytes) return refuse(path, bytes.reason());
        const Result<std::string> tsv = dumpKvz(*bytes);
        if (!tsv) return refuse(path, tsv.reason());
        out_ << *tsv << std::flush;
        return kExitSuccess;
    }

    int dumpImage(const std::string& path) {
        if (io::isDirectory(path)) return refuse(path, io::folderReason());
        const Result<std::string> text = readImageText(path);
        if (!text) return refuse(path, text.reason());
        const Result<std::string> tsv = dumpHexTextDeck(*text);
        if (!tsv) return refuse(path, tsv.reason());
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
        args.subspan(args.empty() ? 0 : 1), kOptionRules,
        [&](std::size_t option, const std::string& value) { return applyOption(kSettings[option], value, invocation); },
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
    return KvzdeckRun(out, err, interruptions).run(invocation);
}

}  // namespace kvz
