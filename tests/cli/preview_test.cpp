// --preview: the sheet that kvzpack writes, every text drawn with the
// image's own cells, read with libpng and checked pixel by pixel against the
// cells decoded from the image written beside it.
#include <gtest/gtest.h>

#include "cli_support.h"
#include "cli/image_file.h"
#include "core/preview.h"
#include "decode/decode.h"
#include "glyph/glyph.h"
#include "support/png_read.h"

namespace kvz {
namespace {

using namespace cli_testing;

#ifdef KVZPACK_HAVE_PNG

DecodedImage decodeWritten(const fs::path& hexPath) {
    auto bytes = readImageFile(hexPath.string());
    EXPECT_TRUE(bytes.ok()) << bytes.reason();
    auto decoded = decodeImage(bytes->bytes, kLoadAddress);
    EXPECT_TRUE(decoded.ok()) << decoded.reason();
    return std::move(decoded.value());
}

// Every pixel of a cell, scaled up: ink where the cell's bit is set, paper
// elsewhere.
void expectCellDrawn(const GrayBitmap& png, std::size_t x, std::size_t y, const GlyphCell& cell,
                     const std::string& where) {
    const std::size_t s = kPreviewScale;
    for (std::size_t column = 0; column < kCellWidth; ++column)
        for (std::size_t row = 0; row < 7; ++row) {
            const std::uint8_t expected = (cell[column] >> row) & 1 ? kInk : kPaper;
            for (std::size_t dy = 0; dy < s; ++dy)
                for (std::size_t dx = 0; dx < s; ++dx)
                    ASSERT_EQ(png.at((x + column) * s + dx, (y + row) * s + dy), expected)
                        << where << " column " << column << " row " << row;
        }
}

void expectSheetOfImage(const TempDir& dir, const std::string& base, std::size_t entries) {
    const GrayBitmap png = readPng(testing::readFileBytes(dir / (base + ".png")));
    const DecodedImage decoded = decodeWritten(dir / (base + ".ihx"));
    auto sheet = drawPreviewSheet(decoded);
    ASSERT_TRUE(sheet.ok()) << sheet.reason();
    EXPECT_EQ(png.width, sheet->bitmap.width * kPreviewScale);
    EXPECT_EQ(png.height, sheet->bitmap.height * kPreviewScale);
    ASSERT_EQ(sheet->texts.size(), 8 + 6 * entries) << "every group name and every field";
    for (const PlacedText& text : sheet->texts) {
        auto stored = text.place.entry < 0
                          ? decoded.groups[static_cast<std::size_t>(text.place.group)].name
                          : decoded.entries[decoded.groups[static_cast<std::size_t>(text.place.group)].firstEntry +
                                            static_cast<std::size_t>(text.place.entry)]
                                           [static_cast<std::size_t>(text.place.field)];
        auto codes = expandText(decoded, stored);
        ASSERT_TRUE(codes.ok());
        ASSERT_EQ(text.codes, *codes) << describeTextPlace(text.place);
        ASSERT_LE((text.x + 7 * codes->size()) * kPreviewScale, png.width);
        ASSERT_LE((text.y + 7) * kPreviewScale, png.height);
        for (std::size_t i = 0; i < codes->size(); ++i)
            expectCellDrawn(png, text.x + 7 * i, text.y, decoded.cells.at((*codes)[i]),
                            describeTextPlace(text.place) + " character " + std::to_string(i));
    }
}

TEST(PreviewSheet, ExampleMatchesTheDecodedCellsPixelForPixel) {
    TempDir dir;
    cli_testing::copyExample(dir);
    const ProcessResult run = kvzpack(dir, {"--preview", "example.kvz"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "example.kvz:05D0-062E\n") << "the preview adds no line";
    // Code 0 is Ａ, the narrow A: 3E 09 3E.
    const DecodedImage decoded = decodeWritten(dir / "example.ihx");
    ASSERT_EQ(decoded.cells.size(), 5u);
    EXPECT_EQ(decoded.cells[0], (GlyphCell{0x3E, 0x09, 0x3E, 0, 0, 0, 0}));
    expectSheetOfImage(dir, "example", 1);
}

TEST(PreviewSheet, SampleDeckToo) {
    TempDir dir;
    testing::writeFile(dir / "sample.kvz", testing::readFileBytes(testing::sourcePath("examples/sample.kvz")));
    ASSERT_EQ(kvzpack(dir, {"sample.kvz", "--preview"}).exitStatus, 0);
    const DecodedImage decoded = decodeWritten(dir / "sample.ihx");
    expectSheetOfImage(dir, "sample", decoded.entries.size());
}

#endif

}  // namespace
}  // namespace kvz
