#include "core/verify.h"

#include <utility>

#include "common/text.h"
#include "decode/decode.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"

namespace kvz {
namespace {

// The device's memory: the image lies between the load address and 0xFFFF.
constexpr std::uint32_t kAddressSpace = 0x10000;

}  // namespace

Result<HexImage> imageFromHexText(std::string_view text) {
    const HexReadOptions options{HexReading::image, true, kLoadAddress, kAddressSpace - kLoadAddress};
    HexImage image{std::vector<std::uint8_t>(kAddressSpace - kLoadAddress), {}};
    auto read = readHexText(text, image.bytes, options);
    KVZ_TRY(read);
    if (read->lowest != kLoadAddress)
        return fail("not a device image: its data starts at 0x" + hex4(read->lowest) + ", not at 0x" +
                    hex4(kLoadAddress));
    image.bytes.resize(read->span);
    image.warnings = std::move(read->warnings);
    return image;
}

Result<std::vector<std::uint8_t>> verifyHexText(std::string_view hexText, std::size_t imageSize,
                                                const KvzFile& deck, const CharTable& table) {
    auto image = imageFromHexText(hexText);
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
