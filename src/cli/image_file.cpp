#include "cli/image_file.h"

#include <utility>

#include "core/verify.h"
#include "io/io.h"

namespace kvz {

Result<std::string> readImageText(const std::string& path) {
    Result<std::string> text = io::readTextFile(path);
    if (!text && text.failureKind() == FailureKind::cannotOpen) return text.failure();
    // A folder is read as holding no records at all.
    return text ? std::move(text.value()) : std::string();
}

Result<HexImage> readImageFile(const std::string& path) {
    auto text = readImageText(path);
    KVZ_TRY(text);
    return imageFromHexText(*text);
}

Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table) {
    Result<std::string> text = io::readTextFile(path);
    if (!text) return fail("cannot read back the image written: " + text.reason());
    return verifyHexText(*text, imageSize, deck, table);
}

}  // namespace kvz
