// kvz_fontgen: writes the converter's three font tables as C++ sources.
//   kvz_fontgen 3x8.png k6x8.png misaki_gothic.ttf OUTPUT_DIR
#include <cstdio>
#include <exception>
#include <string>

#include "bitmap_font.h"
#include "font_tables.h"
#include "ink_sheet.h"
#include "jis.h"
#include "table_source.h"

namespace {

void emit(const std::string& directory, const fontgen::FontTable& table, const std::string& origin) {
    const std::string path = directory + "/" + table.name + ".cpp";
    fontgen::writeTableSource(path, table, origin);
    for (const std::string& note : table.notes) {
        std::fprintf(stderr, "%s\n", note.c_str());
    }
    std::printf("%s written\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s 3x8.png k6x8.png misaki_gothic.ttf OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    try {
        fontgen::ShiftJisDecoder decoder;
        emit(argv[4], fontgen::buildFont4x8(fontgen::readInkSheet(argv[1])),
             "3x8.png (3 x 8 companion of k6x8 by Num Kadoma), 0xE0-0xE4 drawn by hand");
        emit(argv[4], fontgen::buildFontK6x8(fontgen::readInkSheet(argv[2]), decoder),
             "k6x8.png (k6x8 by Num Kadoma)");
        fontgen::BitmapFont misaki(argv[3]);
        emit(argv[4], fontgen::buildFontMisaki(misaki, decoder),
             "the 8-pixel strike of misaki_gothic.ttf (Misaki Gothic by Num Kadoma, "
             "Debian fonts-misaki)");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kvz_fontgen: %s\n", error.what());
        return 1;
    }
    return 0;
}
