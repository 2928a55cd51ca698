// What the command line and the page say and show alike: the lines they
// tell about a file, the log's line, the losses of a deck, and the
// inspection of an image's HEX text. A front end only decides where these
// go; the conversion itself is packDeck's (core/pack.h), whose `sheet`
// option also hands over the preview sheet for a front end that draws it.
//
// The fields' names are kFieldNames (input/kvz.h), the sheet's cell size
// and row pitch kSheetCellPixels and kSheetRowPitch (core/preview.h), the
// device's capacity kImageCapacity (common/layout.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "core/inspect.h"
#include "core/pack.h"
#include "core/space.h"
#include "core/split.h"
#include "decode/decode.h"

namespace kvz {

// The programs' names, as their messages start.
inline constexpr std::string_view kPackProgram = "kvzpack";
inline constexpr std::string_view kDeckProgram = "kvzdeck";

// The reason given for a file whose work ran out of memory.
inline constexpr std::string_view kOutOfMemory = "out of memory";

// "PROGRAM: TEXT": a line about the run as a whole.
std::string formatProgramMessage(std::string_view program, std::string_view text);

// "PROGRAM: FILE: REASON": a line about one file, such as its refusal.
std::string formatFileMessage(std::string_view program, std::string_view file, std::string_view reason);

// "PROGRAM: FILE:REASON", for a reason that starts with the number of the
// file's line it concerns ("kvzdeck: deck.tsv:12: ...").
std::string formatFileLineMessage(std::string_view program, std::string_view file,
                                  std::string_view numberedReason);

// A warning, or an error where warnings fail the file (--strict).
enum class Severity { warning, error };

// "PROGRAM: FILE: warning: WHAT", or "PROGRAM: FILE: error: WHAT".
std::string formatWarningMessage(std::string_view program, std::string_view file, std::string_view what,
                                 Severity severity = Severity::warning);

// "FILE:05D0-0FFF": the log's line for `file`, converted into an image of
// `imageBytes` bytes (at least one) placed at kLoadAddress.
std::string formatLogLine(std::string_view file, std::size_t imageBytes);

// What the deck loses on the device, in the order it is told: every text a
// zero byte cuts short, then every character without a glyph, then every
// code that is not Shift_JIS and shows the glyph of another.
std::vector<std::string> describeLosses(const ReadDeck& deck);

// What a front end asks of a deck's conversion.
struct ConvertRequest {
    PackOptions pack;
    bool report = false;  // also the SpaceReport of the whole deck
    bool split = false;   // a deck too large becomes parts that each fit
    std::size_t maxParts = kDefaultMaxParts;  // with split: the most parts (at least 2)
};

// One image to write, under the base name of its files (NAME.ihx,
// NAME.txt, NAME.png): the deck's own name, or NAME-1, NAME-2, ... for the
// parts of a split.
struct NamedImage {
    std::string name;
    std::size_t firstEntry = 0;  // the deck's entries it holds, in file order from 0
    std::size_t entries = 0;
    KvzFile deck;                // the deck it was made from: the part, or the whole deck
    PackedDeck packed;
};

// The images, or why there are none; and the report when asked for and the
// deck's texts could be encoded at all: also for a deck too large, and for
// one refused for a character too frequent, a group table or a stream that
// cannot be written (see encodeForReport).
struct DeckConversion {
    Result<std::vector<NamedImage>> images = std::vector<NamedImage>{};
    std::optional<SpaceReport> report;
};

// "NAME-3": the base name of part 3 (counted from 1).
std::string partName(std::string_view baseName, std::size_t part);

// The conversion every front end makes. Without report and split it is
// packDeck's, one image named `baseName`. With report the whole deck's
// texts are encoded once (encodeForReport), its report made from that
// encoding, and a deck that fits packed from it (the same image); the
// report is made with split too, and for a deck refused. With split a deck too large (or
// one whose texts need more codes than a stream holds) is cut by
// splitToFit (core/split.h), each part packed as packDeck packs a deck and
// named partName(baseName, N); a deck that fits is packed as without split;
// one that needs more than maxParts parts is refused (see splitToFit), at
// once, before its encoding, where leastParts tells and no report is asked for.
// Without split a deck too large fails as packDeck fails.
DeckConversion convertDeck(const KvzFile& deck, const std::string& baseName, const ConvertRequest& request,
                           const PhraseProgress& progress = {});

// An image inspected: the text to show, and what a front end needs to draw
// the image's sheet too.
struct InspectedImage {
    std::string text;           // the summary, or the drawn selection
    std::size_t imageBytes = 0;
    DecodedImage decoded;
};

// The warnings of reading an image's text, which are told first, also when
// the inspection then fails, and the inspection or why there is none.
struct ImageInspection {
    std::vector<std::string> warnings;  // "line N: ...": records the image does not need
    Result<InspectedImage> inspected;
};

// Reads `hexText` as one image (imageFromHexText), decodes it and gives its
// summary under `name` (formatImageSummary) or, with `entry`, the drawn
// selection (drawSelection). The reasons are those of each step, a decoding
// failure as "not a device image: ...".
ImageInspection inspectHexText(std::string_view hexText, const std::string& name,
                               const std::optional<EntrySelection>& entry);

}  // namespace kvz
