#include "core/frontend.h"

#include <algorithm>
#include <utility>

#include "common/layout.h"
#include "common/text.h"
#include "core/report.h"
#include "core/split.h"
#include "core/verify.h"

namespace kvz {
namespace {

std::string_view severityName(Severity severity) { return severity == Severity::error ? "error" : "warning"; }

Result<InspectedImage> inspectImage(const HexImage& image, const std::string& name,
                                    const std::optional<EntrySelection>& entry) {
    auto decoded = decodeImage(image.bytes, kLoadAddress);
    if (!decoded) return fail("not a device image: " + decoded.reason());
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

ImageInspection inspectHexText(std::string_view hexText, const std::string& name,
                               const std::optional<EntrySelection>& entry) {
    auto image = imageFromHexText(hexText);
    if (!image) return ImageInspection{{}, image.failure()};
    return ImageInspection{image->warnings, inspectImage(*image, name, entry)};
}

}  // namespace kvz
