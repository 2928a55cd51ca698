// The 8-pixel bitmap strike of a TrueType font, read through FreeType.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace fontgen {

// Column bytes of an 8 x 8 cell, left to right, pixel row 0 (top) in bit 0.
using Cell8 = std::array<std::uint8_t, 8>;

class BitmapFont {
public:
    explicit BitmapFont(const std::string& path);
    ~BitmapFont();
    BitmapFont(const BitmapFont&) = delete;
    BitmapFont& operator=(const BitmapFont&) = delete;

    // The glyph of a Unicode character; nothing when the font lacks it.
    std::optional<Cell8> cellOf(char32_t character);

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    std::string path_;
};

}  // namespace fontgen
