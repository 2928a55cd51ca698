#include "ink_sheet.h"

#include <png.h>

#include <algorithm>
#include <memory>
#include <set>
#include <stdexcept>

namespace fontgen {
namespace {

struct PngImageFree {
    void operator()(png_image* image) const { png_image_free(image); }
};

std::vector<png_byte> readGrayPixels(const std::string& path, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::unique_ptr<png_image, PngImageFree> guard(&image);
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        throw std::runtime_error(path + ": " + image.message);
    }
    image.format = PNG_FORMAT_GRAY;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        throw std::runtime_error(path + ": " + image.message);
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return pixels;
}

}  // namespace

InkSheet readInkSheet(const std::string& path) {
    InkSheet sheet;
    const std::vector<png_byte> pixels = readGrayPixels(path, sheet.width, sheet.height);
    const std::set<png_byte> colours(pixels.begin(), pixels.end());
    if (colours.size() > 2) {
        throw std::runtime_error(path + ": more than two colours");
    }
    sheet.ink.assign(pixels.size(), false);
    if (colours.size() == 2) {  // a sheet of one colour has no ink at all
        const png_byte inkColour = *colours.begin();
        std::transform(pixels.begin(), pixels.end(), sheet.ink.begin(),
                       [inkColour](png_byte p) { return p == inkColour; });
    }
    return sheet;
}

}  // namespace fontgen
