#include "driver/verify.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "decode/decode.h"
#include "glyph/glyph.h"
#include "hexfile/hex.h"

namespace kvz {
namespace {

constexpr std::uint32_t kAddressSpace = 0x10000;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

Result<std::vector<std::uint8_t>> readImageFile(const std::string& path) {
    if (!std::unique_ptr<std::FILE, FileCloser>(std::fopen(path.c_str(), "rb")))
        return fail(std::strerror(errno), FailureKind::cannotOpen);
    std::vector<std::uint8_t> image(kAddressSpace);
    std::uint32_t lowest = 0;
    const std::uint32_t span = readHexAbs(path, image, &lowest, kAddressSpace, true);
    if (span == 0)
        return fail("no Intel HEX data could be read from it (damaged, or not an Intel HEX file)");
    if (lowest != kLoadAddress)
        return fail("not a device image: its data starts at " + hex4(lowest) + ", not at " +
                    hex4(kLoadAddress));
    image.resize(span);
    return image;
}

Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table) {
    auto image = readImageFile(path);
    if (!image) return fail("cannot read back the image written: " + image.reason());
    if (image->size() != imageSize)
        return fail("the image read back has " + std::to_string(image->size()) + " bytes, " +
                    std::to_string(imageSize) + " were written");
    if (auto checked = verifyImage(*image, kLoadAddress, deck, table); !checked)
        return fail("the image read back does not say what the deck says: " + checked.reason());
    return image;
}

}  // namespace kvz
