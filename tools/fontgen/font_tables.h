// The three built-in fonts as the converter stores them: column bytes,
// pixel row 0 in bit 0, glyphs one after another.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bitmap_font.h"
#include "ink_sheet.h"
#include "jis.h"

namespace fontgen {

struct FontTable {
    std::string name;                     // the array's name in the converter
    int width = 0;                        // column bytes per glyph
    std::vector<std::uint8_t> bytes;      // glyph g at g * width
    std::vector<std::string> labels;      // per glyph: its code and character
    std::map<int, std::string> headings;  // comment lines before some glyphs
    std::vector<std::string> notes;       // what the build left out, for the log
};

// Rows of JIS X 0208 that hold glyphs in the large fonts.
bool rowCarriesGlyphs(int row);

// JIS X 0201 from the 3 x 8 sheet (16 x 16 cells), with the narrow small
// katakana drawn by hand at 0xE0 to 0xE4.
FontTable buildFont4x8(const InkSheet& sheet);
// JIS X 0208 from the 6 x 8 sheet (94 x 94 cells), 5 columns kept.
FontTable buildFontK6x8(const InkSheet& sheet, ShiftJisDecoder& decoder);
// JIS X 0208 from the bitmap strike, 7 columns kept.
FontTable buildFontMisaki(BitmapFont& font, ShiftJisDecoder& decoder);

}  // namespace fontgen
