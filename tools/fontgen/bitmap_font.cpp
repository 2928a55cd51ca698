#include "bitmap_font.h"

#include <stdexcept>

namespace fontgen {
namespace {

constexpr int kCellSize = 8;
constexpr int kAscender = 6;  // pixel rows above the baseline in the 8-pixel strike

bool monoPixel(const FT_Bitmap& bitmap, unsigned x, unsigned y) {
    const unsigned char* row = bitmap.buffer + static_cast<long>(y) * bitmap.pitch;
    return (row[x / 8] & (0x80 >> (x % 8))) != 0;
}

}  // namespace

BitmapFont::BitmapFont(const std::string& path) : path_(path) {
    if (FT_Init_FreeType(&library_) != 0) {
        throw std::runtime_error("FreeType cannot start");
    }
    if (FT_New_Face(library_, path.c_str(), 0, &face_) != 0) {
        FT_Done_FreeType(library_);
        throw std::runtime_error(path + ": not a font FreeType can read");
    }
    if (FT_Set_Pixel_Sizes(face_, 0, kCellSize) != 0) {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
        throw std::runtime_error(path + ": no 8-pixel strike");
    }
}

BitmapFont::~BitmapFont() {
    FT_Done_Face(face_);
    FT_Done_FreeType(library_);
}

std::optional<Cell8> BitmapFont::cellOf(char32_t character) {
    const FT_UInt index = FT_Get_Char_Index(face_, character);
    if (index == 0) {
        return std::nullopt;
    }
    if (FT_Load_Glyph(face_, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
        throw std::runtime_error(path_ + ": glyph " + std::to_string(index) + " does not load");
    }
    const FT_GlyphSlot slot = face_->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.rows > 0 && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) {
        throw std::runtime_error(path_ + ": glyph " + std::to_string(index) + " is not 1-bit");
    }
    Cell8 cell{};
    for (unsigned by = 0; by < bitmap.rows; ++by) {
        for (unsigned bx = 0; bx < bitmap.width; ++bx) {
            if (!monoPixel(bitmap, bx, by)) {
                continue;
            }
            const int x = slot->bitmap_left + static_cast<int>(bx);
            const int y = kAscender - slot->bitmap_top + static_cast<int>(by);
            if (x < 0 || x >= kCellSize || y < 0 || y >= kCellSize) {
                throw std::runtime_error(path_ + ": glyph " + std::to_string(index) +
                                         " leaves the 8 x 8 cell");
            }
            cell[static_cast<std::size_t>(x)] |= static_cast<std::uint8_t>(1u << y);
        }
    }
    return cell;
}

}  // namespace fontgen
