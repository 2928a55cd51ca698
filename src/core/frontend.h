// The one layer every front end (kvzpack, kvzdeck, the page) stands on: the
// conversion (convertDeck) and every line the front ends tell about it,
// already worded: a deck's losses, kvzdeck build's report, an image's
// inspection, the log's line, the out-of-memory guard, and the names of a
// deck's files (common/file_names.h). A front end only decides where the
// lines go and which files to write.
//
// The fields' names are kFieldNames (input/kvz.h), the sheet's cell size
// and row pitch kSheetCellPixels and kSheetRowPitch (core/preview.h), the
// device's capacity kImageCapacity (common/layout.h); the space figures in
// bytes are core/space.h's.
#pragma once

#include <cstddef>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_names.h"
#include "common/result.h"
#include "core/bounds.h"
#include "core/image_deck.h"
#include "core/inspect.h"
#include "core/own_outputs.h"
#include "core/pack.h"
#include "core/preview.h"
#include "core/report.h"
#include "core/space.h"
#include "core/split.h"
#include "core/verify.h"
#include "decode/decode.h"
#include "deck/deck_input.h"

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

// "Cannot open FILE": the line for a file that could not be opened or read
// at all; with a `cause` (the browser's, in the page), "Cannot open FILE:
// CAUSE".
std::string formatCannotOpenMessage(std::string_view file, std::string_view cause = {});

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

// Lines to tell, in order, and whether they end in a refusal.
struct ToldLines {
    std::vector<std::string> lines;
    bool refused = false;
};

// Every loss of `deck` (describeLosses) as a warning about `file`, or under
// `strict` as an error; refused when `strict` and there is any.
ToldLines reportLosses(std::string_view program, std::string_view file, const ReadDeck& deck, bool strict);

// What kvzdeck build tells about the input `file` read as `input` (or
// refused, in one line): with `verbose` the form and encoding it was read
// as; then every change, the changes in one line, every warning; then every
// refused line (those listed), how many more there are, and with more than
// one how many in all. Refused when the input or any line is: nothing is
// written.
ToldLines reportDeckBuild(const std::string& file, const Result<DeckInput>& input, bool verbose);

// kvzdeck build's warnings for an input `file` that kvzpack would take for
// one of the outputs of the deck `kvzPath` (deckOutputs of its stem):
// `isInput` says whether an output's path names the input.
std::vector<std::string> warnAboutOutputNames(const std::string& file, const std::string& kvzPath,
                                              const std::function<bool(const std::string&)>& isInput);

// Runs `work`; where it runs out of memory, `refuse` gets the line that
// tells so ("PROGRAM: FILE: out of memory") and its result is returned:
// a file too large for the memory at hand fails alone.
template <class Work, class Refuse>
auto withinMemory(std::string_view program, std::string_view file, Work&& work, Refuse&& refuse) -> decltype(work()) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return refuse(formatFileMessage(program, file, kOutOfMemory));
    }
}

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

// "NAME" for the part "NAME-3": the base name of the deck a part's name was
// made from by partName.
std::string splitDeckName(std::string_view partBaseName);

// The files of the image named `name`, in the order they are written:
// NAME.ihx, NAME.txt and, with `preview`, NAME.png.
std::vector<std::string> imageFileNames(std::string_view name, bool preview);

// The name a log line and a summary give for `image` of a conversion of
// `file` into `images` images: `file` itself, or NAME-N.ihx for a part.
std::string loggedName(const std::string& file, const NamedImage& image, std::size_t images);

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

// kvzpack --inspect's lines for standard error about the image text of
// `file`: every warning of reading it, then its refusal where there is no
// inspection; and the inspection where there is one.
struct InspectionReport {
    std::vector<std::string> lines;
    std::optional<InspectedImage> inspected;
};
InspectionReport reportInspection(std::string_view hexText, const std::string& file,
                                  const std::optional<EntrySelection>& entry);

}  // namespace kvz
