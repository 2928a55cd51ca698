// The whole conversion from arbitrary KVZ bytes, with the round trip: every
// file that converts gives an image that decodes and says exactly what the
// file says. Run with a small -max_len (8 group records and a few dozen
// entry records); run.sh passes 12288.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "decode/decode.h"
#include "core/convert.h"
#include "glyph/glyph.h"
#include "input/kvz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto file = kvz::readKvzBytes(std::span<const std::uint8_t>(data, size));
    if (!file) return 0;
    auto conversion = kvz::convertKvz(*file);
    if (!conversion) return 0;
    auto decoded = kvz::decodeImage(conversion->image, kvz::kLoadAddress);
    if (!decoded) {
        std::fprintf(stderr, "convert_fuzz: the image does not decode: %s\n",
                     decoded.reason().c_str());
        std::abort();
    }
    const kvz::Status verified =
        kvz::verifyImage(conversion->image, kvz::kLoadAddress, *file, conversion->charTable);
    if (!verified) {
        std::fprintf(stderr, "convert_fuzz: the image does not say what the file says: %s\n",
                     verified.reason().c_str());
        std::abort();
    }
    return 0;
}
