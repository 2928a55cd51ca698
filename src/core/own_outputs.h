// What kvzpack writes under each output name, recognised again: before an
// output replaces a file, that file must be one kvzpack wrote there, so that
// no file of the user's (an export named notes.txt beside notes.kvz) is
// ever lost. The checks look at contents only; that the file is a regular
// one is the front end's to check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

enum class OutputKind {
    image,          // NAME.ihx: Intel HEX text
    numberedImage,  // NAME.txt: the same records, each behind its line number
    preview,        // NAME.png
    log,            // LOG.log: one "FILE:05D0-END" line per converted file
};

// The most bytes of a file that the check of `kind` reads; a longer image
// text or log is not one kvzpack wrote, and a preview is told by its start.
// The largest image text (64 KiB of data, 16 bytes a record, line numbers
// included) is about 210 KB.
std::size_t ownOutputReadLimit(OutputKind kind);

// True when `contents` (at most ownOutputReadLimit(kind) bytes, the whole
// file for every kind but the preview) is what kvzpack writes as `kind`:
// - an image: data records (type 00) and then one end record
//   (":00000001FF"), nothing behind it, every record's length and checksum
//   right, each line ended by CR LF or LF;
// - a numbered image: the same records without their ':', each behind
//   "N:" with N its line number from 1 ("1:1005D000...", "7:00000001FF");
// - a preview: the PNG signature and an IHDR chunk first;
// - a log: lines "FILE:HHHH-HHHH" (FILE not empty, four or more upper-case
//   hexadecimal digits each), each ended by CR LF or LF; an empty log too.
bool isOwnOutput(OutputKind kind, std::string_view contents);

// One past the last address an image text of kvzpack holds data for (the
// load address when it holds none), or nothing when `text` is not such a
// text (isOwnOutput's rules for an image, or with `numbered` a numbered one).
std::optional<std::uint32_t> ownImageTextEnd(std::string_view text, bool numbered);

// The image text a numbered text of kvzpack holds: its records with their
// line numbers taken off, each ended by CR LF; nothing when `numbered` is
// not such a text.
std::optional<std::string> unnumberedImageText(std::string_view numbered);

// "PATH exists and is not an Intel HEX file written by kvzpack; it is left
// as it is: rename it, or write the outputs elsewhere with --output-dir DIR"
// (a numbered HEX file, a PNG image, a log for the other kinds).
std::string describeForeignOutput(std::string_view path, OutputKind kind);

// The same refusal for a path that exists and is not a regular file (a
// device, a FIFO, a socket, a symbolic link).
std::string describeNonRegularOutput(std::string_view path);

// An output that kvzpack writes for a deck, and what it is.
struct DeckOutput {
    std::string path;
    std::string_view what;  // "its numbered HEX text", "its image", ...
};

// What kvzpack writes for the deck whose path without its extension is
// `deckBase`, beside it: the numbered text, the image, the preview and the
// log (when the deck is the first file).
std::vector<DeckOutput> deckOutputs(std::string_view deckBase);

// kvzdeck's warning for an input named like `output` of the deck `deck`
// that it builds: "'kvzpack notes.kvz' writes its numbered HEX text to
// notes.txt and will refuse to replace this file: rename it, or convert
// with 'kvzpack --output-dir DIR notes.kvz'".
std::string describeInputNamedLikeOutput(std::string_view deck, const DeckOutput& output);

// The way out that every refusal of an output in the way ends with.
inline constexpr std::string_view kOutputWayOut =
    "it is left as it is: rename it, or write the outputs elsewhere with --output-dir DIR";

}  // namespace kvz
