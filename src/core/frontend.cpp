#include "core/frontend.h"

#include <algorithm>
#include <utility>

#include "common/layout.h"
#include "common/text.h"
#include "core/report.h"
#include "core/split.h"
#include "core/verify.h"
#include "deck/deck.h"
#include "deck/text_encoding.h"

namespace kvz {
namespace {

std::string_view severityName(Severity severity) { return severity == Severity::error ? "error" : "warning"; }

Result<InspectedImage> inspectImage(const HexImage& image, const std::string& name,
                                    const std::optional<EntrySelection>& entry) {
    auto decoded = decodeDeviceImage(image.bytes);
    KVZ_TRY(decoded);
    auto text = entry ? drawSelection(*decoded, *entry) : formatImageSummary(name, image.bytes, *decoded);
    KVZ_TRY(text);
    return InspectedImage{std::move(text.value()), image.bytes.size(), std::move(decoded.value())};
}

Result<std::vector<NamedImage>> wholeDeckImage(const KvzFile& deck, const std::string& baseName,
                                               Result<PackedDeck>&& packed) {
    KVZ_TRY(packed);
    std::vector<NamedImage> images;
    images.push_back(NamedImage{baseName, 0, countEntries(deck), deck, std::move(packed.value())});
    return images;
}

Result<std::vector<NamedImage>> splitImages(const KvzFile& deck, const std::string& baseName,
                                            const PackOptions& options, std::uint64_t wholeImageBytes,
                                            std::size_t maxParts) {
    auto parts = splitToFit(deck, options.encoder, wholeImageBytes, maxParts);
    KVZ_TRY(parts);
    std::vector<NamedImage> images;
    for (DeckPart& part : *parts) {
        auto packed = packConversion(part.deck, std::move(part.conversion), options);
        KVZ_TRY(packed);
        images.push_back(NamedImage{partName(baseName, images.size() + 1), part.firstEntry, part.entries,
                                    std::move(part.deck), std::move(packed.value())});
    }
    return images;
}

// The whole deck's encoding, as encodeKvz gives it; with report the deck's
// report too, also where the encoding is refused.
Result<Conversion> wholeDeckEncoding(const KvzFile& deck, const ConvertRequest& request,
                                     const PhraseProgress& progress, std::optional<SpaceReport>& report) {
    if (!request.report) return encodeKvz(deck, progress, request.pack.encoder);
    ReportedEncoding encoded = encodeForReport(deck, progress, request.pack.encoder);
    if (encoded.measured) report = measureSpace(deck, encoded.conversion);
    if (!encoded.refusal) return encoded.refusal.failure();
    return std::move(encoded.conversion);
}

}  // namespace

std::string partName(std::string_view baseName, std::size_t part) {
    return std::string(baseName) + "-" + std::to_string(part);
}

std::string splitDeckName(std::string_view partBaseName) {
    return std::string(partBaseName.substr(0, partBaseName.rfind('-')));
}

std::vector<std::string> imageFileNames(std::string_view name, bool preview) {
    const std::string base(name);
    std::vector<std::string> names{base + ".ihx", base + ".txt"};
    if (preview) names.push_back(base + ".png");
    return names;
}

DeckConversion convertDeck(const KvzFile& deck, const std::string& baseName, const ConvertRequest& request,
                           const PhraseProgress& progress) {
    DeckConversion result;
    if (!request.report && !request.split) {
        result.images = wholeDeckImage(deck, baseName, packDeck(deck, request.pack, progress));
        return result;
    }
    // A deck that needs too many parts is refused before it is encoded,
    // unless its report needs the encoding.
    if (request.split && !request.report) {
        if (const std::size_t least = leastParts(deck); least > std::max<std::size_t>(request.maxParts, 2)) {
            result.images = refuseTooManyParts(least, std::max<std::size_t>(request.maxParts, 2));
            return result;
        }
    }
    auto whole = wholeDeckEncoding(deck, request, progress, result.report);
    if (whole && conversionImageSize(*whole) <= kImageCapacity)
        result.images = wholeDeckImage(deck, baseName, packConversion(deck, std::move(whole.value()), request.pack));
    else if (request.split)
        result.images = splitImages(deck, baseName, request.pack, whole ? conversionImageSize(*whole) : 0,
                                    request.maxParts);
    else if (whole)
        result.images = refuseTooLarge(deck, *whole);
    else
        result.images = whole.failure();
    return result;
}

std::string formatProgramMessage(std::string_view program, std::string_view text) {
    return std::string(program) + ": " + std::string(text);
}

std::string formatCannotOpenMessage(std::string_view file, std::string_view cause) {
    std::string line = "Cannot open " + std::string(file);
    if (!cause.empty()) line += ": " + std::string(cause);
    return line;
}

std::string formatFileMessage(std::string_view program, std::string_view file, std::string_view reason) {
    return formatProgramMessage(program, std::string(file) + ": " + std::string(reason));
}

std::string formatFileLineMessage(std::string_view program, std::string_view file,
                                  std::string_view numberedReason) {
    return formatProgramMessage(program, std::string(file) + ":" + std::string(numberedReason));
}

std::string formatWarningMessage(std::string_view program, std::string_view file, std::string_view what,
                                 Severity severity) {
    return formatFileMessage(program, file, std::string(severityName(severity)) + ": " + std::string(what));
}

std::string formatLogLine(std::string_view file, std::size_t imageBytes) {
    return std::string(file) + ":" + formatAddressRange(kLoadAddress, imageBytes);
}

std::vector<std::string> describeLosses(const ReadDeck& deck) {
    std::vector<std::string> losses;
    for (const TruncatedText& text : deck.file.truncatedTexts) losses.push_back(describeTruncatedText(text));
    for (const MissingGlyph& glyph : deck.missingGlyphs) losses.push_back(describeMissingGlyph(glyph));
    for (const NonShiftJisCode& code : deck.nonShiftJisCodes) losses.push_back(describeNonShiftJisCode(code));
    return losses;
}

ToldLines reportLosses(std::string_view program, std::string_view file, const ReadDeck& deck, bool strict) {
    const Severity severity = strict ? Severity::error : Severity::warning;
    ToldLines told;
    for (const std::string& loss : describeLosses(deck))
        told.lines.push_back(formatWarningMessage(program, file, loss, severity));
    told.refused = strict && !told.lines.empty();
    return told;
}

ToldLines reportDeckBuild(const std::string& file, const Result<DeckInput>& input, bool verbose) {
    ToldLines told;
    const auto say = [&](const std::string& text) { told.lines.push_back(formatFileMessage(kDeckProgram, file, text)); };
    const auto sayAt = [&](const DeckMessage& message) {
        told.lines.push_back(
            formatFileLineMessage(kDeckProgram, file, std::to_string(message.line) + ": " + message.text));
    };
    if (!input) {
        told.lines.push_back(formatProgramMessage(kDeckProgram, describeBuildRefusal(file, input.failure())));
        told.refused = true;
        return told;
    }
    const bool package = input->form == DeckForm::ankiPackage;
    if (verbose) say("read as " + describeDeckForm(*input) + (package ? "" : ", in " + std::string(encodingName(input->encoding))));
    const DeckCheck& check = input->check;
    for (const DeckMessage& change : check.changes) sayAt(change);
    if (const std::string changes = describeChanges(check); !changes.empty()) say(changes);
    for (const DeckMessage& warning : check.warnings) sayAt(warning);
    for (const DeckMessage& problem : check.problems) sayAt(problem);
    if (check.problemCount > check.problems.size())
        say(std::to_string(check.problemCount - check.problems.size()) + " more refused lines not listed");
    if (check.problemCount > 1) say(std::to_string(check.problemCount) + " refused lines; nothing written");
    told.refused = check.problemCount > 0;
    return told;
}

std::vector<std::string> warnAboutOutputNames(const std::string& file, const std::string& kvzPath,
                                              const std::function<bool(const std::string&)>& isInput) {
    std::vector<std::string> warnings;
    for (const DeckOutput& output : deckOutputs(fileStem(kvzPath)))
        if (isInput(output.path))
            warnings.push_back(formatWarningMessage(kDeckProgram, file, describeInputNamedLikeOutput(kvzPath, output)));
    return warnings;
}

std::string loggedName(const std::string& file, const NamedImage& image, std::size_t images) {
    return images > 1 ? image.name + ".ihx" : file;
}

InspectionReport reportInspection(std::string_view hexText, const std::string& file,
                                  const std::optional<EntrySelection>& entry) {
    ImageInspection inspection = inspectHexText(hexText, file, entry);
    InspectionReport report;
    for (const std::string& warning : inspection.warnings)
        report.lines.push_back(formatWarningMessage(kPackProgram, file, warning));
    if (!inspection.inspected)
        report.lines.push_back(formatFileMessage(kPackProgram, file, inspection.inspected.reason()));
    else
        report.inspected = std::move(inspection.inspected.value());
    return report;
}

ImageInspection inspectHexText(std::string_view hexText, const std::string& name,
                               const std::optional<EntrySelection>& entry) {
    auto image = imageFromHexText(hexText);
    if (!image) return ImageInspection{{}, image.failure()};
    return ImageInspection{image->warnings, inspectImage(*image, name, entry)};
}

}  // namespace kvz
