#include "core/pack.h"

#include <optional>
#include <utility>

#include "common/layout.h"
#include "core/convert.h"
#include "core/preview.h"
#include "core/verify.h"
#include "decode/decode.h"
#include "hexfile/hex.h"

namespace kvz {
namespace {

Failure internalError(const std::string& reason) { return fail("internal error: " + reason); }

// The sheet of the image as the check decoded it, or of `image` decoded now.
Result<PreviewSheet> previewSheet(std::span<const std::uint8_t> image, std::optional<DecodedImage> checked) {
    if (!checked) {
        auto decoded = decodeImage(image, kLoadAddress);
        if (!decoded) return internalError("the image cannot be decoded for its preview: " + decoded.reason());
        checked = std::move(decoded.value());
    }
    return previewSheetOf(*checked);
}

Result<std::vector<std::uint8_t>> sheetPng(const PreviewSheet& sheet) {
    auto png = encodePng(sheet.bitmap, kPreviewScale);
    if (!png) return internalError("the preview cannot be encoded: " + png.reason());
    return png;
}

// The sheet and its PNG, as `options` ask for them.
Status addPreview(PackedDeck& packed, std::optional<DecodedImage> checked, const PackOptions& options) {
    if (!options.preview && !options.sheet) return success();
    auto sheet = previewSheet(packed.image, std::move(checked));
    KVZ_TRY(sheet);
    if (options.preview) {
        auto png = sheetPng(*sheet);
        KVZ_TRY(png);
        packed.png = std::move(png.value());
    }
    if (options.sheet) packed.sheet = std::move(sheet.value());
    return success();
}

}  // namespace

Result<PreviewSheet> previewSheetOf(const DecodedImage& decoded) {
    auto sheet = drawPreviewSheet(decoded);
    if (!sheet) return internalError("the preview cannot be drawn: " + sheet.reason());
    return sheet;
}

Result<ReadDeck> readDeck(std::span<const std::uint8_t> bytes) {
    auto file = readKvzBytes(bytes);
    KVZ_TRY(file);
    ReadDeck deck{std::move(file.value()), {}, {}};
    deck.missingGlyphs = findMissingGlyphs(deck.file);
    deck.nonShiftJisCodes = findNonShiftJisCodes(deck.file);
    return deck;
}

Result<PackedDeck> packDeck(const KvzFile& deck, const PackOptions& options, const PhraseProgress& progress) {
    auto conversion = convertKvz(deck, progress, options.encoder);
    KVZ_TRY(conversion);
    return packConversion(deck, std::move(conversion.value()), options);
}

Result<PackedDeck> packConversion(const KvzFile& deck, Conversion&& conversion, const PackOptions& options) {
    if (conversion.image.empty()) return internalError("the image to write was not built");
    PackedDeck packed;
    auto hexText = formatHexAbs(conversion.image, kLoadAddress, false);
    KVZ_TRY(hexText);
    packed.hexText = std::move(hexText.value());
    auto numbered = formatHexAbs(conversion.image, kLoadAddress, true);
    KVZ_TRY(numbered);
    packed.numberedHexText = std::move(numbered.value());
    packed.figures = measureConversion(deck, conversion);
    packed.image = std::move(conversion.image);
    packed.charTable = std::move(conversion.charTable);
    packed.conversionWarnings = std::move(conversion.warnings);
    std::optional<DecodedImage> checked;
    if (options.verify) {
        auto readBack = readBackHexText(packed.hexText, packed.image.size(), deck, packed.charTable);
        if (!readBack) return internalError(readBack.reason());
        checked = std::move(readBack->decoded);
    }
    KVZ_TRY(addPreview(packed, std::move(checked), options));
    return packed;
}

Result<std::vector<std::uint8_t>> previewPngOf(std::span<const std::uint8_t> image) {
    auto sheet = previewSheet(image, std::nullopt);
    KVZ_TRY(sheet);
    return sheetPng(*sheet);
}

Result<PackedDeck> packDeckBytes(std::span<const std::uint8_t> bytes, const PackOptions& options,
                                 const PhraseProgress& progress) {
    auto deck = readDeck(bytes);
    KVZ_TRY(deck);
    auto packed = packDeck(deck->file, options, progress);
    KVZ_TRY(packed);
    packed->missingGlyphs = std::move(deck->missingGlyphs);
    packed->nonShiftJisCodes = std::move(deck->nonShiftJisCodes);
    packed->truncatedTexts = std::move(deck->file.truncatedTexts);
    return packed;
}

}  // namespace kvz
