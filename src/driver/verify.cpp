#include "driver/verify.h"

#include <cstdio>
#include <utility>

#include "decode/decode.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"
#include "io/io.h"

namespace kvz {
namespace {

constexpr std::uint32_t kAddressSpace = 0x10000;

std::string hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

Result<ImageFile> readImageFile(const std::string& path) {
    const auto text = io::readTextFile(path);
    if (!text) return text.failure();
    ImageFile image{std::vector<std::uint8_t>(kAddressSpace - kLoadAddress), {}};
    const HexReadOptions options{HexReading::image, true, kLoadAddress, kAddressSpace - kLoadAddress};
    auto data = readHexText(*text, image.bytes, options);
    if (!data) return data.failure();
    if (data->lowest != kLoadAddress)
        return fail("not a device image: its data starts at " + hex4(data->lowest) + ", not at " +
                    hex4(kLoadAddress));
    image.bytes.resize(data->span);
    image.warnings = std::move(data->warnings);
    return image;
}

Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table) {
    auto image = readImageFile(path);
    if (!image) return fail("cannot read back the image written: " + image.reason());
    if (!image->warnings.empty())
        return fail("cannot read back the image written: " + image->warnings.front());
    if (image->bytes.size() != imageSize)
        return fail("the image read back has " + std::to_string(image->bytes.size()) + " bytes, " +
                    std::to_string(imageSize) + " were written");
    if (auto checked = verifyImage(image->bytes, kLoadAddress, deck, table); !checked)
        return fail("the image read back does not say what the deck says: " + checked.reason());
    return std::move(image->bytes);
}

}  // namespace kvz
