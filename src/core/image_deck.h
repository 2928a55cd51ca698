// The deck back from its device image: the texts that the image holds, as
// the device reads them (normalised), written in kvzdeck's own layout, so
// that a user who kept only the image can edit and rebuild the deck.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/result.h"
#include "decode/decode.h"

namespace kvz {

// The deck's text in kvzdeck's own layout (as dumpKvz writes it). Each
// character is the Shift_JIS code whose glyph is the image's cell for it,
// written in a short form that normalises to that code again (Ａ as A,
// カ゛ as ガ; half-width katakana only where a text would not fit its field
// otherwise); a cell that no code draws
// is written as the code 0x8140 when empty, else refused. Building the text
// and converting it gives an image that draws every text the same.
Result<std::string> dumpImageDeck(const DecodedImage& image);

// dumpImageDeck of an image's Intel HEX text placed at the load address;
// reasons as inspectHexText gives them.
Result<std::string> dumpHexTextDeck(std::string_view hexText);

// `image` (placed at kLoadAddress) decoded, or "not a device image: ..."
// with the decoder's reason.
Result<DecodedImage> decodeDeviceImage(std::span<const std::uint8_t> image);

}  // namespace kvz
