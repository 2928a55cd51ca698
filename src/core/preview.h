// The preview sheet: every group name and every entry's six texts drawn with
// the image's own glyph cells, and its PNG encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "decode/decode.h"

namespace kvz {

// 8-bit grey pixels, row by row.
struct GrayBitmap {
    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::uint8_t& at(std::size_t x, std::size_t y) { return pixels[y * width + x]; }
    std::uint8_t at(std::size_t x, std::size_t y) const { return pixels[y * width + x]; }
};

inline constexpr std::uint8_t kPaper = 0xFF;     // background
inline constexpr std::uint8_t kInk = 0x00;       // the device's pixels
inline constexpr std::uint8_t kLabelInk = 0x60;  // numbers and headings
inline constexpr std::uint8_t kRuleInk = 0xC0;   // line under each group's name
// Each sheet pixel becomes a square of this many pixels in the PNG.
inline constexpr int kPreviewScale = 3;
// A glyph cell on the sheet: 7 x 7 pixels, one per pixel of the device.
inline constexpr std::size_t kSheetCellPixels = 7;
// From the top of one row of texts (a group's name or an entry) to the
// next; a group's name row also has a gap above it.
inline constexpr std::size_t kSheetRowPitch = 9;

// A text of the sheet: its character codes, drawn from (x, y) on, one glyph
// cell after the other.
struct PlacedText {
    TextPlace place;
    std::size_t x = 0;
    std::size_t y = 0;
    std::vector<std::uint16_t> codes;
};

struct PreviewSheet {
    GrayBitmap bitmap;               // unscaled
    std::vector<PlacedText> texts;   // every group name and entry field
};

// Lays out and draws the sheet: a heading row, then per group a row with
// "G<n>" and its name (a rule above it), and one row per entry with its number and six
// fields in columns. Labels use the narrow 3-column font.
Result<PreviewSheet> drawPreviewSheet(const DecodedImage& decoded);

// The bitmap, every pixel scaled to a square of `scale` pixels, as the bytes
// of an 8-bit greyscale PNG file (encodeRunLengthPng, core/png_runs.h): the
// same bytes in every build. Fails for an empty bitmap or a scale below 1.
Result<std::vector<std::uint8_t>> encodePng(const GrayBitmap& bitmap, int scale);

}  // namespace kvz
