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
    KVZ_TRY(file);
    ReadDeck deck{std::move(file.value()), {}, {}};
    deck.missingGlyphs = findMissingGlyphs(deck.file);
    deck.nonShiftJisCodes = findNonShiftJisCodes(deck.file);
    return deck;
}

Result<PackedDeck> packDeck(const KvzFile& deck, const PackOptions& options, const PhraseProgress& progress) {
    auto conversion = convertKvz(deck, progress, options.encoder);
    KVZ_TRY(conversion);
    PackedDeck packed;
    auto hexText = formatHexAbs(conversion->image, kLoadAddress, false);
    KVZ_TRY(hexText);
    packed.hexText = std::move(hexText.value());
    auto numbered = formatHexAbs(conversion->image, kLoadAddress, true);
    KVZ_TRY(numbered);
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
        KVZ_TRY(png);
        packed.png = std::move(png.value());
    }
    return packed;
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
