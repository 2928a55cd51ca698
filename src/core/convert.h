// One deck's conversion, from its texts to the device image, with every
// intermediate product kept for reports and checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "compress/compress.h"
#include "input/kvz.h"

namespace kvz {

// The default encoding, or the optimising one of --best (same format, the
// device reads both alike).
enum class Encoder { standard, best };

struct Conversion {
    CharTable charTable;             // code = index
    CodeLines codeLines;             // after phrase substitution
    std::uint32_t linesBefore = 0;   // lines made from texts
    std::uint32_t codesBefore = 0;   // F: codes below it are characters
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> image;  // placed at kLoadAddress
    Encoder encoder = Encoder::standard;
    std::size_t standardStreamValues = 0;  // the default encoding's stream, for comparison
    std::size_t streamValuesAtGlance = 0;  // --best: its stream within the refusal's share of steps
    // Where the image's bytes differ from what the plain encoding would
    // write (describeLoweredLimit); the device reads the image all the same.
    std::vector<std::string> warnings;
};

// Runs every stage; fails with the reason when the deck does not fit the
// device's formats. An image too large for the device is refused with the
// number of entries that fit (counted in file order) and, for the default
// encoder, whether --best makes the whole deck fit. With --best that number
// is found within a budget of steps: those entries fit, a few more may.
Result<Conversion> convertKvz(const KvzFile& file, const PhraseProgress& progress = {},
                              Encoder encoder = Encoder::standard);

// Every stage of convertKvz, the same work and the same result for a deck
// that fits, without the device's limit: a deck too large gets its texts
// encoded all the same, its image left empty (conversionImageSize tells its
// size), and no search for the entries that fit. Fails where convertKvz
// fails for any other reason.
Result<Conversion> encodeKvz(const KvzFile& file, const PhraseProgress& progress = {},
                             Encoder encoder = Encoder::standard);

// encodeKvz's conversion, or its refusal with the deck's texts encoded as
// far as a report of where the bytes go needs them (see encodeForReport).
struct ReportedEncoding {
    Conversion conversion;
    Status refusal = success();  // encodeKvz's failure; `conversion` complete when none
    bool measured = false;       // false: not even the report can be made (`refusal` says why)
};

// encodeKvz, going on past the refusals that leave the texts measurable: a
// character too frequent (counted 65535 times, in the table's order), a
// group table that no stream holds, and a stream that cannot be written
// (left empty: the report counts its values as if each fit). A refused
// deck's encoding has the default encoder's phrases (--best is not tried)
// and no image. Without a refusal, the same conversion as encodeKvz.
ReportedEncoding encodeForReport(const KvzFile& file, const PhraseProgress& progress = {},
                                 Encoder encoder = Encoder::standard);

// convertKvz's refusal of `whole`, encodeKvz's conversion of `file` whose
// image is too large: the same reason, without encoding the deck again.
Failure refuseTooLarge(const KvzFile& file, const Conversion& whole);

// The size of the image that `conversion` makes: its header, packed stream
// and glyph cells, also where the image was not built.
std::uint64_t conversionImageSize(const Conversion& conversion);

// The packed stream and image sizes that the deck gives, whether or not the
// image fits the device.
struct ImageSizes {
    std::uint64_t streamBytes = 0;
    std::uint64_t imageBytes = 0;
};
Result<ImageSizes> measureImage(const KvzFile& file, Encoder encoder);

// True when no image of `textLines` text lines and `characters` distinct
// characters can fit the device, with either encoder: their lines alone,
// at the fewest stream values any stream takes (leastStreamValues), and the
// glyph cells make it larger than 64048 bytes. A proof, never a guess: false
// for every deck that fits.
bool noImageCanFit(std::uint64_t textLines, std::uint64_t characters);

// How many of the deck's first entries make an image that fits the device
// (found by bisection over cut decks, core/split.h; with --best, as the
// refusal finds it).
std::size_t entriesThatFit(const KvzFile& file, Encoder encoder);

}  // namespace kvz
