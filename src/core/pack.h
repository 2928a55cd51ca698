// Packing one deck: a deck's bytes in; the image, its two Intel HEX texts,
// the warnings, the summary's figures and the preview's PNG bytes out.
// Nothing here touches a file or prints. convertDeck (core/frontend.h), the
// conversion the front ends make, packs through packDeck and
// packConversion; packDeckBytes, reading and packing in one, serves the
// tests and the benchmarks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "core/convert.h"
#include "core/preview.h"
#include "core/report.h"
#include "input/kvz.h"

namespace kvz {

struct PackOptions {
    bool verify = true;    // decode the image back from the .ihx text and check it
    bool preview = false;  // also encode the preview sheet as PNG
    Encoder encoder = Encoder::standard;  // Encoder::best: the optimising encoder of --best
    bool sheet = false;    // also keep the preview sheet, for a front end that draws it itself
};

// A deck read from its bytes, with the characters that will show as empty
// cells and the codes that will show as other characters, each once, with
// its first place (group, entry, field).
struct ReadDeck {
    KvzFile file;
    std::vector<MissingGlyph> missingGlyphs;
    std::vector<NonShiftJisCode> nonShiftJisCodes;
};

struct PackedDeck {
    std::vector<std::uint8_t> image;          // placed at kLoadAddress
    std::string hexText;                      // NAME.ihx: the Intel HEX lines
    std::string numberedHexText;              // NAME.txt: the same lines, numbered
    std::vector<MissingGlyph> missingGlyphs;  // filled by packDeckBytes only
    std::vector<NonShiftJisCode> nonShiftJisCodes;  // packDeckBytes only
    std::vector<TruncatedText> truncatedTexts;  // texts cut by a zero byte; packDeckBytes only
    std::vector<std::string> conversionWarnings;  // Conversion::warnings, told for every image
    ConversionFigures figures;                // what the --verbose summary tells
    std::vector<std::uint8_t> png;            // the preview sheet, when asked
    std::optional<PreviewSheet> sheet;        // when asked
    CharTable charTable;                      // the image's characters, to check it once read back from a file
};

// readKvzBytes, the characters without a glyph and the codes that are not
// Shift_JIS.
Result<ReadDeck> readDeck(std::span<const std::uint8_t> bytes);

// Converts the deck and formats both texts. With options.verify, the image
// is read back from hexText (not from the converted bytes) and checked
// against the deck; a difference fails with "internal error: ...". The
// preview sheet and its PNG are drawn from the image as the check decoded
// it (from the converted image without verify). Fails with the reason when
// the deck does not fit the device.
Result<PackedDeck> packDeck(const KvzFile& deck, const PackOptions& options,
                            const PhraseProgress& progress = {});

// packDeck's products from a conversion of `deck` made already (by
// convertKvz, or by encodeKvz where the image fits), with the same checks.
Result<PackedDeck> packConversion(const KvzFile& deck, Conversion&& conversion, const PackOptions& options);

// The preview's PNG of `image` (placed at kLoadAddress), decoded anew: for
// a front end that draws the preview from the image read back from its
// written file. Fails with "internal error: ..." when it cannot be drawn.
Result<std::vector<std::uint8_t>> previewPngOf(std::span<const std::uint8_t> image);

// The preview sheet of an image decoded already (an inspected one). Fails
// with "internal error: ..." when it cannot be drawn.
Result<PreviewSheet> previewSheetOf(const DecodedImage& decoded);

// readDeck, then packDeck; the warnings are in the result's missingGlyphs,
// nonShiftJisCodes and truncatedTexts.
Result<PackedDeck> packDeckBytes(std::span<const std::uint8_t> bytes, const PackOptions& options,
                                 const PhraseProgress& progress = {});

}  // namespace kvz
