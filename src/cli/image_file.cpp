#include "cli/image_file.h"

#include <utility>

#include "core/verify.h"
#include "io/io.h"

namespace kvz {
namespace {

// The text of a file just written, read back as readImageText reads it.
Result<std::string> readBack(const std::string& path, const std::string& what) {
    Result<std::string> text = readImageText(path);
    if (!text) return fail("cannot read back the " + what + " written: " + text.reason());
    return text;
}

}  // namespace

Result<std::string> readImageText(const std::string& path) {
    Result<std::string> text = io::readTextWithin(path, kLongestImageText);
    if (text || text.failureKind() == FailureKind::cannotOpen) return text;
    if (text.failureKind() == FailureKind::tooLarge)
        return fail(imageTextTooLarge());
    return std::string();  // a folder is read as holding no records at all
}

Result<HexImage> readImageFile(const std::string& path) {
    auto text = readImageText(path);
    KVZ_TRY(text);
    return imageFromHexText(*text);
}

Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& path, std::size_t imageSize,
                                                     const KvzFile& deck, const CharTable& table) {
    Result<std::string> text = readBack(path, "image");
    KVZ_TRY(text);
    return verifyHexText(*text, imageSize, deck, table);
}

Result<std::vector<std::uint8_t>> verifyWrittenImage(const std::string& imagePath, const std::string& numberedPath,
                                                     std::size_t imageSize, const KvzFile& deck,
                                                     const CharTable& table) {
    Result<std::string> text = readBack(imagePath, "image");
    KVZ_TRY(text);
    auto image = verifyHexText(*text, imageSize, deck, table);
    KVZ_TRY(image);
    Result<std::string> numbered = readBack(numberedPath, "numbered text");
    KVZ_TRY(numbered);
    if (Status same = checkNumberedText(*numbered, *text); !same)
        return fail("cannot read back the numbered text written: " + same.reason());
    return image;
}

}  // namespace kvz
