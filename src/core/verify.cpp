#include "core/verify.h"

#include "common/text.h"

#include "decode/decode.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"

namespace kvz {
namespace {

// Room for every address a record can reach: up to 255 bytes from 0xFFFF.
constexpr std::uint32_t kReachableAddresses = 0x10000 + 0xFF;

}  // namespace

Result<std::vector<std::uint8_t>> imageFromHexText(std::string_view text) {
    std::vector<std::uint8_t> memory(kReachableAddresses);
    std::uint32_t lowest = 0;
    const std::uint32_t span = readHexText(text, memory, &lowest, kReachableAddresses, true);
    if (span == 0)
        return fail("no Intel HEX data could be read from it (damaged, or not an Intel HEX file)");
    if (lowest != kLoadAddress)
        return fail("not a device image: its data starts at 0x" + hex4(lowest) + ", not at 0x" +
                    hex4(kLoadAddress));
    const auto first = memory.begin() + lowest;
    return std::vector<std::uint8_t>(first, first + span);
}

Result<std::vector<std::uint8_t>> verifyHexText(std::string_view hexText, std::size_t imageSize,
                                                const KvzFile& deck, const CharTable& table) {
    auto image = imageFromHexText(hexText);
    if (!image) return fail("cannot read back the image written: " + image.reason());
    if (image->size() != imageSize)
        return fail("the image read back has " + std::to_string(image->size()) + " bytes, " +
                    std::to_string(imageSize) + " were written");
    if (auto checked = verifyImage(*image, kLoadAddress, deck, table); !checked)
        return fail("the image read back does not say what the deck says: " + checked.reason());
    return image;
}

}  // namespace kvz
