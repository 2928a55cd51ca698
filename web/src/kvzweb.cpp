// The page's way into the converter, for the Web Worker: a deck (KVZ bytes
// or TSV text) or an Intel HEX image in, a plain object out with what the
// command line programs would write and say about it.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_names.h"
#include "common/layout.h"
#include "common/text.h"
#include "core/frontend.h"
#include "deck/anki_package.h"
#include "deck/deck.h"
#include "deck/deck_input.h"
#include "deck/table.h"
#include "input/kvz.h"
#include "package_bridge.h"

namespace kvz::web {
namespace {

using emscripten::val;

val bytesToJs(std::span<const std::uint8_t> bytes) {
    val array = val::global("Uint8Array").new_(bytes.size());
    array.call<void>("set", val(emscripten::typed_memory_view(bytes.size(), bytes.data())));
    return array;
}

std::span<const std::uint8_t> asBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A file to download, of the MIME type `type`, made straight from the bytes
// in the module's memory: the page offers it as it is, and the worker hands
// it over without copying it into a JavaScript array or string first.
val blobOf(std::span<const std::uint8_t> bytes, const char* type) {
    val parts = val::array();
    parts.call<void>("push", val(emscripten::typed_memory_view(bytes.size(), bytes.data())));
    val options = val::object();
    options.set("type", std::string(type));
    return val::global("Blob").new_(parts, options);
}

// What a run tells the page; the messages are the lines the command line
// programs print on standard error, in the same order.
class Report {
public:
    Report() : object_(val::object()), messages_(val::array()) {
        object_.set("ok", false);
        object_.set("messages", messages_);
    }
    void say(const std::string& line) { messages_.call<void>("push", line); }
    void set(const char* key, const val& value) { object_.set(key, value); }
    template <class T>
    void set(const char* key, const T& value) {
        object_.set(key, val(value));
    }
    val finish(bool ok) {
        object_.set("ok", ok);
        return object_;
    }

private:
    val object_;
    val messages_;
};

val fieldNamesToJs() {
    val names = val::array();
    for (const std::string_view name : kFieldNames) names.call<void>("push", std::string(name));
    return names;
}

// The sheet's pixels as their grey levels (one byte each, row by row: a
// quarter of the canvas pixels they become, which the page makes only for
// what it draws), where each text lies on it (six numbers per text: group,
// entry or -1 for the name, field, x, y, glyph cells), and how to read it:
// the glyph cell's size, the rows' pitch and the fields' names.
val sheetToJs(const PreviewSheet& sheet) {
    std::vector<std::int32_t> places;
    places.reserve(sheet.texts.size() * 6);
    for (const PlacedText& text : sheet.texts)
        places.insert(places.end(), {text.place.group, text.place.entry, text.place.field,
                                     static_cast<std::int32_t>(text.x), static_cast<std::int32_t>(text.y),
                                     static_cast<std::int32_t>(text.codes.size())});
    val texts = val::global("Int32Array").new_(places.size());
    texts.call<void>("set", val(emscripten::typed_memory_view(places.size(), places.data())));
    val object = val::object();
    object.set("width", static_cast<double>(sheet.bitmap.width));
    object.set("height", static_cast<double>(sheet.bitmap.height));
    object.set("grey", bytesToJs(sheet.bitmap.pixels));
    object.set("places", texts);
    object.set("cellPixels", static_cast<double>(kSheetCellPixels));
    object.set("rowPitch", static_cast<double>(kSheetRowPitch));
    object.set("fieldNames", fieldNamesToJs());
    return object;
}

// The file name without its extension, as the command line names a deck's
// outputs.
std::string stemOf(const std::string& name) { return fileStem(name); }

// What follows the last ".", in lower case ("" without one), as the page's
// worker tells a file's kind by it.
std::string extensionOf(const std::string& name) {
    const std::string extension = fileExtension(name);
    return extension.empty() ? extension : extension.substr(1);
}

// A download never bears the name of the file given: the numbered text of
// notes.txt is offered as notes.hex.txt.
std::string downloadName(const std::string& base, std::string_view extension, const std::string& given) {
    const std::string name = base + "." + std::string(extension);
    return name == given ? base + ".hex." + std::string(extension) : name;
}

// The downloads of the image whose files are named `base` (NAME.ihx, ...).
val imageDownloadsToJs(const std::string& base, const std::string& given) {
    val names = val::object();
    for (const char* extension : {"ihx", "txt", "png"}) names.set(extension, downloadName(base, extension, given));
    return names;
}

// The names around the file `name` that the user gives: its stem and
// extension, the deck built from a table (NAME.kvz) and its downloads, and
// whether one of kvzpack's outputs for that deck would bear the given name
// (then the command line writes them into a folder of their own).
val fileNamesOf(const std::string& name) {
    const std::string stem = stemOf(name);
    val names = val::object();
    names.set("stem", stem);
    names.set("extension", extensionOf(name));
    names.set("deck", stem + ".kvz");
    names.set("deckTsv", stem + ".deck.tsv");
    bool clash = false;
    for (const DeckOutput& output : deckOutputs(stem)) clash = clash || output.path == name;
    names.set("outputsClash", clash);
    return names;
}

// `bytes` of an image of `imageBytes`: rounded to a whole byte as the report
// words it, and its share, as a number and as the report's text.
val shareToJs(double bytes, std::uint64_t imageBytes) {
    val object = val::object();
    object.set("bytes", static_cast<double>(std::llround(bytes)));
    object.set("percent", imageSharePercent(bytes, imageBytes));
    object.set("share", formatImageShare(bytes, imageBytes));
    return object;
}

val figuresToJs(const ConversionFigures& figures) {
    val object = val::object();
    object.set("texts", static_cast<double>(figures.texts));
    object.set("characters", static_cast<double>(figures.characters));
    object.set("distinctCharacters", static_cast<double>(figures.distinctCharacters));
    object.set("phrases", static_cast<double>(figures.phrases));
    object.set("streamBytes", static_cast<double>(figures.streamBytes));
    object.set("glyphBytes", static_cast<double>(figures.glyphBytes));
    object.set("imageBytes", static_cast<double>(figures.imageBytes));
    object.set("capacity", static_cast<double>(kImageCapacity));
    object.set("capacityShare", formatImageShare(static_cast<double>(figures.imageBytes), kImageCapacity));
    return object;
}

// The PNG of a bitmap as the core encodes it, or null.
val pngOf(const GrayBitmap& bitmap, int scale) {
    auto png = encodePng(bitmap, scale);
    return png ? bytesToJs(*png) : val::null();
}

// The preview's PNG of a sheet as a file to download, or null.
val pngBlobOf(const GrayBitmap& bitmap) {
    auto png = encodePng(bitmap, kPreviewScale);
    return png ? blobOf(*png, "image/png") : val::null();
}

// The sheet and its PNG.
void addPreview(Report& report, const PreviewSheet& sheet) {
    report.set("sheet", sheetToJs(sheet));
    report.set("png", pngBlobOf(sheet.bitmap));
}

// The command line's options that the page offers, from the page's one
// options object.
struct PageOptions {
    bool best = false;    // --best
    bool strict = false;  // --strict
    bool split = false;   // --split
};

PageOptions pageOptionsOf(const val& options) {
    return PageOptions{options["best"].as<bool>(), options["strict"].as<bool>(), options["split"].as<bool>()};
}

// One image's outputs and lines; `logName` is the name its log and summary
// lines give (the deck's, or NAME-N.ihx for a part of a split).
val imageToJs(NamedImage& image, const std::string& logName, const std::string& given, double seconds) {
    val object = val::object();
    object.set("name", image.name);
    object.set("downloads", imageDownloadsToJs(image.name, given));
    object.set("firstEntry", static_cast<double>(image.firstEntry));
    object.set("entries", static_cast<double>(image.entries));
    object.set("ihx", blobOf(asBytes(image.packed.hexText), "text/plain"));
    object.set("txt", blobOf(asBytes(image.packed.numberedHexText), "text/plain"));
    object.set("figures", figuresToJs(image.packed.figures));
    object.set("logLine", formatLogLine(logName, image.packed.image.size()));
    object.set("summaryLine", formatSummary(logName, image.packed.figures, seconds));
    object.set("sheet", sheetToJs(*image.packed.sheet));
    object.set("png", pngBlobOf(image.packed.sheet->bitmap));
    return object;
}

// Where the bytes go: the figures a table shows, and the lines of
// kvzpack --report for `file`.
val spaceToJs(const SpaceReport& space, const std::string& file) {
    val object = val::object();
    val groups = val::array();
    for (std::size_t g = 0; g < space.groups.size(); ++g) {
        const GroupSpace& group = space.groups[g];
        val item = shareToJs(streamImageBytes(group.streamValues), space.imageBytes);
        item.set("entries", static_cast<double>(group.entries));
        item.set("name", group.name);
        item.set("described", describeGroupPart(space, g));
        groups.call<void>("push", item);
    }
    object.set("groups", groups);
    val costliest = val::array();
    for (const EntrySpace& entry : costliestEntries(space, kCostliestShown)) {
        val item = val::object();
        item.set("group", entry.group);
        item.set("entry", entry.entry);
        item.set("word", entry.word);
        item.set("line", static_cast<double>(entry.inputLine));
        item.set("described", describeCostlyEntry(entry));
        item.set("bytes", static_cast<double>(std::llround(entryCostBytes(entry))));
        costliest.call<void>("push", item);
    }
    object.set("costliest", costliest);
    object.set("best", space.encoder == Encoder::best);
    object.set("phrases", static_cast<double>(space.phrases));
    object.set("tableDescribed", describePhraseTablePart(space));
    object.set("glyphsDescribed", describeGlyphsPart(space));
    object.set("glyphUse", describeGlyphUse(space));
    object.set("table", shareToJs(streamImageBytes(space.phraseTableValues + space.headerValues), space.imageBytes));
    object.set("characters", static_cast<double>(space.characters));
    object.set("singleEntryCharacters", static_cast<double>(space.singleEntryCharacters));
    object.set("glyphBytes", static_cast<double>(space.glyphBytes));
    object.set("glyphs", shareToJs(static_cast<double>(space.glyphBytes), space.imageBytes));
    object.set("imageBytes", static_cast<double>(space.imageBytes));
    object.set("capacity", static_cast<double>(kImageCapacity));
    const std::vector<std::string> lines = formatSpaceReport(file, space);
    val jsLines = val::array();
    for (const std::string& line : lines) jsLines.call<void>("push", line);
    object.set("lines", jsLines);
    return object;
}

// kvzpack --preview --report -v (with the options) on one deck: warnings,
// or with --strict the errors that fail it; the outputs once each image
// read back from its .ihx text says what its deck says; the log and
// summary lines; where the bytes go, also for a deck too large. A deck that
// fits gives its outputs as the top-level fields; the parts of a split are
// `parts`, each with the same fields. The messages name `messageName`, the
// file the user gave; the log, summary and report lines name `file`, the
// deck as the command line converts it, and its costliest entries their
// lines in the text the deck was built from, `entryLines` (none for a KVZ
// deck). Each sheet is the one its conversion drew from the image read back.
val convertDeckBytes(Report& report, std::span<const std::uint8_t> bytes, const std::string& file,
                     const std::string& messageName, const PageOptions& options,
                     std::span<const std::size_t> entryLines = {}) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto refuse = [&](const std::string& reason) {
        report.say(formatFileMessage(kPackProgram, messageName, reason));
        return report.finish(false);
    };
    auto deck = readDeck(bytes);
    if (!deck) return refuse(deck.reason());
    const ToldLines losses = reportLosses(kPackProgram, messageName, *deck, options.strict);
    for (const std::string& line : losses.lines) report.say(line);
    if (losses.refused) return report.finish(false);
    const PackOptions packOptions{.verify = true,
                                  .preview = false,
                                  .encoder = options.best ? Encoder::best : Encoder::standard,
                                  .sheet = true};
    DeckConversion conversion = convertDeck(deck->file, stemOf(file), ConvertRequest{packOptions, true, options.split});
    if (conversion.report) {
        addInputLines(*conversion.report, entryLines);
        report.set("space", spaceToJs(*conversion.report, file));
    }
    if (!conversion.images) return refuse(conversion.images.reason());
    std::vector<NamedImage>& images = *conversion.images;
    for (const NamedImage& image : images)
        for (const std::string& warning : image.packed.conversionWarnings)
            report.say(formatWarningMessage(kPackProgram, images.size() == 1 ? messageName : image.name + ".ihx", warning));
    const std::chrono::duration<double> taken = Clock::now() - start;
    if (images.size() == 1) {
        val image = imageToJs(images.front(), file, messageName, taken.count());
        for (const char* key : {"ihx", "txt", "figures", "logLine", "summaryLine", "sheet", "png", "downloads"})
            report.set(key, image[key]);
        return report.finish(true);
    }
    val parts = val::array();
    for (NamedImage& image : images) parts.call<void>("push", imageToJs(image, image.name + ".ihx", messageName, taken.count()));
    report.set("parts", parts);
    return report.finish(true);
}

// A run of the page, which ends as the command line's when memory runs out:
// its line after those told before. Every report carries the names around
// its file (fileNamesOf).
template <class Run>
val runWithinMemory(std::string_view program, const std::string& file, Run run) {
    Report report;
    report.set("names", fileNamesOf(file));
    return withinMemory(program, file, [&] { return run(report); },
                        [&](const std::string& line) {
                            report.say(line);
                            return report.finish(false);
                        });
}

val convertDeck(const std::string& bytes, const std::string& file, const val& options) {
    return runWithinMemory(kPackProgram, file, [&](Report& report) {
        return convertDeckBytes(report, asBytes(bytes), file, file, pageOptionsOf(options));
    });
}

// kvzdeck build's options as the page gives them: those of the page's one
// options object (empty texts for the options not given), and those of the
// form beside one file's results, `options.table`: its separator (empty:
// found), header ("header", "no-header", or empty: as the file says), its
// furigana, and the role chosen for each column (none chosen: the roles its
// header row's names suggest).
struct PageBuildOptions {
    std::string encoding;  // --encoding
    bool cut = false;      // --cut
    std::string replace;   // --replace
    std::string separator;              // --separator
    std::string header;                 // --header, --no-header
    std::string furigana;               // --furigana: base, reading or both
    std::vector<std::string> roles;     // --columns, as the form's drop-downs say them
    std::string groupSize;              // --group-size
};

std::string textOf(const val& object, const char* key) {
    const val value = object[key];
    return value.isString() ? value.as<std::string>() : std::string();
}

PageBuildOptions buildOptionsOf(const val& options) {
    PageBuildOptions page{textOf(options, "encoding"), options["cut"].as<bool>(), textOf(options, "replace"),
                          {}, {}, {}, {}, {}};
    const val table = options["table"];
    if (table.isUndefined() || table.isNull()) return page;
    page.separator = textOf(table, "separator");
    page.header = textOf(table, "header");
    page.furigana = textOf(table, "furigana");
    page.groupSize = textOf(table, "groupSize");
    const val roles = table["roles"];
    if (!roles.isUndefined() && !roles.isNull()) page.roles = emscripten::vecFromJSArray<std::string>(roles);
    return page;
}

// The options every text gets, as kvzdeck build reads them, or the refusal
// it gives for a value it does not take.
Result<DeckInputOptions> deckInputOptionsOf(const PageBuildOptions& page, const std::string& file) {
    DeckInputOptions options;
    options.fileName = file;
    if (!page.encoding.empty()) KVZ_TRY(storeParsed(parseEncodingOption(page.encoding), options.encoding));
    options.fixes.cut = page.cut;
    if (!page.replace.empty()) KVZ_TRY(storeParsed(parseReplacementOption(page.replace), options.fixes.replacement));
    if (!page.separator.empty()) KVZ_TRY(storeParsed(parseSeparatorOption(page.separator), options.separator));
    if (!page.furigana.empty()) KVZ_TRY(storeParsed(parseFuriganaOption(page.furigana), options.furigana));
    if (!page.groupSize.empty()) KVZ_TRY(storeParsed(parseGroupSizeOption(page.groupSize), options.groupSize));
    return options;
}

Result<std::vector<ColumnRole>> rolesOf(const std::vector<std::string>& names) {
    std::vector<ColumnRole> roles;
    for (const std::string& name : names) {
        const Result<ColumnRole> role = parseColumnRole(name);
        KVZ_TRY(role);
        roles.push_back(*role);
    }
    return roles;
}

// The form's choices applied to `options` for the text whose start is
// `head`: the roles and header row of a table, as chosen or as its header
// row suggests; an export's header says its columns, so nothing of the
// form but --furigana applies to it; kvzdeck's own layout takes none of
// them (nor --group-size, which only a table's form offers).
Result<DeckInputOptions> applyTableForm(const PageBuildOptions& page, const TableHead& head, DeckInputOptions options) {
    if (head.form != DeckForm::table) {
        options.separator = 0;
        options.groupSize = 0;
        if (head.form == DeckForm::ownLayout) options.furigana.reset();
        return options;
    }
    auto chosen = rolesOf(page.roles);
    KVZ_TRY(chosen);
    const bool headerChosen = !page.header.empty();
    const bool headerRow = headerChosen ? page.header == "header" : true;
    if (!chosen->empty()) {
        options = withColumnRoles(head, *chosen, headerRow, std::move(options));
    } else if (!head.namesItsColumns && headerRow) {
        options = withColumnRoles(head, head.suggested, true, std::move(options));
    }
    if (headerChosen && options.columns.empty() && options.namedColumns.empty()) options.headerRow = headerRow;
    return options;
}

// The --columns value read back as the command line reads it: a choice it
// refuses (a role given twice) is refused alike.
Status checkColumnsOption(const DeckInputOptions& options) {
    for (const BuildOption& option : buildOptions(options))
        if (option.name == "--columns") KVZ_TRY(parseColumnList(option.value));
    return success();
}

val stringsToJs(const std::vector<std::string>& strings) {
    val array = val::array();
    for (const std::string& text : strings) array.call<void>("push", text);
    return array;
}

val rolesToJs(const std::vector<ColumnRole>& roles) {
    val array = val::array();
    for (const ColumnRole role : roles) array.call<void>("push", columnRoleName(role));
    return array;
}

// The role each column of `head` is read with under `options`.
std::vector<ColumnRole> rolesRead(const TableHead& head, const DeckInputOptions& options) {
    std::vector<ColumnRole> roles(head.firstRow.size(), ColumnRole::skip);
    for (std::size_t c = 0; c < roles.size(); ++c) {
        if (!options.namedColumns.empty()) {
            for (const NamedColumn& column : options.namedColumns)
                if (lowerTrimmed(column.name) == lowerTrimmed(head.firstRow[c])) roles[c] = column.role;
        } else if (!options.columns.empty()) {
            if (c < options.columns.size()) roles[c] = options.columns[c];
        } else if (head.namesItsColumns && !head.firstRow[c].empty()) {
            roles[c] = columnRoleNamed(head.firstRow[c]).value_or(ColumnRole::skip);
        }
    }
    return roles;
}

// What the form beside a text's results shows: the text's form, its
// separator, its first row with the role each cell's name suggests and the
// role each column is read with, whether the first row is a header row,
// and kvzdeck build's options for what the page does (before the file
// names, unquoted: each option's name, then its value if it has one).
val tableToJs(const TableHead& head, const DeckInputOptions& options) {
    val object = val::object();
    object.set("form", std::string(head.form == DeckForm::table             ? "table"
                                   : head.form == DeckForm::flashcardExport ? "export"
                                                                            : "own"));
    object.set("separator", head.separator ? separatorName(head.separator) : std::string());
    object.set("separatorFound", head.separatorFound);
    object.set("cells", stringsToJs(head.firstRow));
    object.set("suggested", rolesToJs(head.suggested));
    object.set("roles", rolesToJs(rolesRead(head, options)));
    object.set("header", options.headerRow.value_or(!options.namedColumns.empty() || head.namesItsColumns));
    object.set("arguments", argumentsToJs(options));
    return object;
}

// kvzdeck build (with the page's options) NAME.EXT NAME.kvz, then kvzpack
// on NAME.kvz; kvzpack's messages name NAME.EXT, the file the user has. A
// table or an export also gives its deck in kvzdeck's own layout.
val buildAndConvertDeck(const std::string& text, const std::string& file, const val& pageOptions) {
    return runWithinMemory(kDeckProgram, file, [&](Report& report) {
        const std::string deckBase = stemOf(file);
        const std::string deckFile = deckBase + ".kvz";
        const PageBuildOptions page = buildOptionsOf(pageOptions);
        auto options = deckInputOptionsOf(page, file);
        // A package's fields are named by its note types, not by a header row.
        const bool package = isPackageName(file) || looksLikeZip(text);
        if (options && !package) {
            // What the text is, when it can be read: refusals are readDeckInput's.
            if (const Result<TableHead> head = readTableHead(text, *options)) {
                options = applyTableForm(page, *head, std::move(*options));
                if (options) report.set("table", tableToJs(*head, *options));
            }
        }
        const Status columns = options ? checkColumnsOption(*options) : Status(options.failure());
        if (!columns) {
            report.say(formatProgramMessage(kDeckProgram, columns.reason()));
            return report.finish(false);
        }
        options->deckName = deckFile;  // kvzdeck build FILE NAME.kvz, as the command line shown
        val packageForm = val::null();
        const Result<DeckInput> input = readDeckOrPackage(text, *options, pageOptions, packageForm);
        if (!packageForm.isNull()) report.set("package", packageForm);
        const ToldLines told = reportDeckBuild(file, input, false);
        for (const std::string& line : told.lines) report.say(line);
        if (told.refused) return report.finish(false);
        const DeckCheck& check = input->check;
        const auto isInput = [&](const std::string& output) { return output == file; };
        for (const std::string& warning : warnAboutOutputNames(file, deckFile, isInput)) report.say(warning);
        report.set("kvz", bytesToJs(check.kvz));
        if (input->form != DeckForm::ownLayout) report.set("deckTsv", input->ownLayout);
        return convertDeckBytes(report, check.kvz, deckFile, file, pageOptionsOf(pageOptions), check.entryLines);
    });
}

// kvzpack --inspect NAME.ihx, with the image's sheet.
val inspectImage(const std::string& text, const std::string& file) {
    return runWithinMemory(kPackProgram, file, [&](Report& report) {
        const auto refuse = [&](const std::string& reason) {
            report.say(formatFileMessage(kPackProgram, file, reason));
            return report.finish(false);
        };
        const InspectionReport inspection = reportInspection(text, file, std::nullopt);
        for (const std::string& line : inspection.lines) report.say(line);
        if (!inspection.inspected) return report.finish(false);
        report.set("inspection", inspection.inspected->text);
        report.set("imageBytes", static_cast<double>(inspection.inspected->imageBytes));
        report.set("capacity", static_cast<double>(kImageCapacity));
        report.set("capacityShare",
                   formatImageShare(static_cast<double>(inspection.inspected->imageBytes), kImageCapacity));
        auto sheet = previewSheetOf(inspection.inspected->decoded);
        if (!sheet) return refuse(sheet.reason());
        addPreview(report, *sheet);
        report.set("downloads", imageDownloadsToJs(stemOf(file), file));
        return report.finish(true);
    });
}

// A file of `kind` ('kvz', 'ihx' or 'text') and `size` bytes refused before
// it is read, as the command line refuses one beyond the same bound
// (core/bounds.h); null when the file is within it.
val refuseTooLarge(const std::string& kind, const std::string& file, double size) {
    const bool text = kind == "text";
    const double bound = static_cast<double>(text && isPackageName(file) ? kLongestPackage
                                             : text ? kLongestDeckText
                                             : kind == "ihx" ? kLongestImageText
                                                             : kLargestKvzFile);
    if (!(size > bound)) return val::null();
    Report report;
    const std::string reason = text && isPackageName(file) ? packageTooLarge()
                               : text                       ? deckTextTooLarge()
                               : kind == "ihx" ? imageTextTooLarge() : kvzFileTooLarge();
    report.say(formatFileMessage(text ? kDeckProgram : kPackProgram, file, reason));
    return report.finish(false);
}

// The refusal of a file the page could not read, for the browser's `cause`.
val refuseUnread(const std::string& file, const std::string& cause) {
    Report report;
    report.say(formatCannotOpenMessage(file, cause));
    return report.finish(false);
}

// A PNG of `width` x `height` grey pixels, each scaled to a square of
// `scale` pixels; null unless the pixels are that many and the scale is 1 to
// kMaxPngScale.
constexpr int kMaxPngScale = 16;
val encodePngOf(const std::string& pixels, double width, double height, int scale) {
    if (!(width >= 1 && height >= 1 && width * height == static_cast<double>(pixels.size())) || scale < 1 ||
        scale > kMaxPngScale)
        return val::null();
    GrayBitmap bitmap;
    bitmap.width = static_cast<std::size_t>(width);
    bitmap.height = static_cast<std::size_t>(height);
    bitmap.pixels.assign(pixels.begin(), pixels.end());
    return pngOf(bitmap, scale);
}

}  // namespace
}  // namespace kvz::web

EMSCRIPTEN_BINDINGS(kvzweb) {
    emscripten::function("convertDeck", &kvz::web::convertDeck);
    emscripten::function("buildAndConvertDeck", &kvz::web::buildAndConvertDeck);
    emscripten::function("inspectImage", &kvz::web::inspectImage);
    emscripten::function("encodePng", &kvz::web::encodePngOf);
    emscripten::function("refuseTooLarge", &kvz::web::refuseTooLarge);
    emscripten::function("refuseUnread", &kvz::web::refuseUnread);
    emscripten::function("fileNames", &kvz::web::fileNamesOf);
}
