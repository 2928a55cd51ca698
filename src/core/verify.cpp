#include "core/verify.h"

#include <utility>

#include "common/layout.h"
#include "common/text.h"
#include "decode/decode.h"
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

Result<ReadBackImage> readBackHexText(std::string_view hexText, std::size_t imageSize, const KvzFile& deck,
                                      const CharTable& table) {
    auto image = imageFromHexText(hexText);
    if (!image) return fail("cannot read back the image written: " + image.reason());
    if (!image->warnings.empty())
        return fail("cannot read back the image written: " + image->warnings.front());
    if (image->bytes.size() != imageSize)
        return fail("the image read back has " + std::to_string(image->bytes.size()) + " bytes, " +
                    std::to_string(imageSize) + " were written");
    auto decoded = decodeVerifiedImage(image->bytes, kLoadAddress, deck, table);
    if (!decoded) return fail("the image read back does not say what the deck says: " + decoded.reason());
    return ReadBackImage{std::move(image->bytes), std::move(decoded.value())};
}

Result<std::vector<std::uint8_t>> verifyHexText(std::string_view hexText, std::size_t imageSize,
                                                const KvzFile& deck, const CharTable& table) {
    auto readBack = readBackHexText(hexText, imageSize, deck, table);
    KVZ_TRY(readBack);
    return std::move(readBack->bytes);
}

}  // namespace kvz
