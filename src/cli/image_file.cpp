#include "cli/image_file.h"

#include "core/verify.h"
#include "io/io.h"

namespace kvz {

Result<std::vector<std::uint8_t>> readImageFile(const std::string& path) {
    Result<std::string> text = io::readTextFile(path);
    if (!text && text.failureKind() == FailureKind::cannotOpen) return text.failure();
    // A folder is read as holding no records at all.
    return imageFromHexText(text ? *text : std::string());
}

Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table) {
    Result<std::string> text = io::readTextFile(path);
    if (!text) return fail("cannot read back the image written: " + text.reason());
    return verifyHexText(*text, imageSize, deck, table);
}

}  // namespace kvz
