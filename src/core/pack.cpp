#include "core/pack.h"

#include "core/convert.h"
#include "core/preview.h"
#include "core/verify.h"
#include "decode/decode.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"

namespace kvz {
namespace {

Failure internalError(const std::string& reason) { return fail("internal error: " + reason); }

Result<std::vector<std::uint8_t>> previewPng(std::span<const std::uint8_t> image) {
    auto decoded = decodeImage(image, kLoadAddress);
    if (!decoded) return internalError("the image cannot be decoded for its preview: " + decoded.reason());
    auto sheet = drawPreviewSheet(*decoded);
    if (!sheet) return internalError("the preview cannot be drawn: " + sheet.reason());
    auto png = encodePng(sheet->bitmap, kPreviewScale);
    if (!png) return internalError("the preview cannot be encoded: " + png.reason());
    return png;
}

}  // namespace

Result<ReadDeck> readDeck(std::span<const std::uint8_t> bytes) {
    auto file = readKvzBytes(bytes);
    if (!file) return file.failure();
    ReadDeck deck{std::move(file.value()), {}};
    deck.missingGlyphs = findMissingGlyphs(deck.file);
    return deck;
}

Result<PackedDeck> packDeck(const KvzFile& deck, const PackOptions& options, const PhraseProgress& progress) {
    auto conversion = convertKvz(deck, progress);
    if (!conversion) return conversion.failure();
    PackedDeck packed;
    auto hexText = formatHexAbs(conversion->image, kLoadAddress, false);
    if (!hexText) return hexText.failure();
    packed.hexText = std::move(hexText.value());
    auto numbered = formatHexAbs(conversion->image, kLoadAddress, true);
    if (!numbered) return numbered.failure();
    packed.numberedHexText = std::move(numbered.value());
    packed.figures = measureConversion(deck, *conversion);
    packed.image = std::move(conversion->image);
    std::vector<std::uint8_t> readBack;
    if (options.verify) {
        auto checked = verifyHexText(packed.hexText, packed.image.size(), deck, conversion->charTable);
        if (!checked) return internalError(checked.reason());
        readBack = std::move(checked.value());
    }
    if (options.preview) {
        auto png = previewPng(options.verify ? readBack : packed.image);
        if (!png) return png.failure();
        packed.png = std::move(png.value());
    }
    return packed;
}

Result<PackedDeck> packDeckBytes(std::span<const std::uint8_t> bytes, const PackOptions& options,
                                 const PhraseProgress& progress) {
    auto deck = readDeck(bytes);
    if (!deck) return deck.failure();
    auto packed = packDeck(deck->file, options, progress);
    if (!packed) return packed.failure();
    packed->missingGlyphs = std::move(deck->missingGlyphs);
    packed->truncatedTexts = std::move(deck->file.truncatedTexts);
    return packed;
}

}  // namespace kvz
