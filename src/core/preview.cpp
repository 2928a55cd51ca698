#include "core/preview.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "core/png_runs.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

constexpr std::size_t kMargin = 6;
constexpr std::size_t kLabelAdvance = 4;      // narrow glyph, 3 columns and a gap
constexpr std::size_t kLabelGap = 8;          // between the numbers and the texts
constexpr std::size_t kColumnGap = 10;        // between two fields
constexpr std::size_t kHeadingPitch = 9;
constexpr std::size_t kGroupGap = 7;         // before a group's name row
constexpr std::size_t kRuleOffset = 4;       // rule above the name row

constexpr std::array<std::string_view, kFieldsPerEntry> kHeadings{
    "long", "short 1", "short 2", "short 3", "short 4", "short 5"};

std::size_t labelWidth(std::string_view label) {
    return label.empty() ? 0 : kLabelAdvance * label.size() - 1;
}

void drawLabel(GrayBitmap& bitmap, std::size_t x, std::size_t y, std::string_view label) {
    for (const char c : label) {
        const auto glyph = static_cast<std::size_t>(static_cast<unsigned char>(c)) * 3;
        for (std::size_t column = 0; column < 3; ++column)
            for (std::size_t row = 0; row < 8; ++row)
                if ((font4x8[glyph + column] >> row) & 1) bitmap.at(x + column, y + row) = kLabelInk;
        x += kLabelAdvance;
    }
}

void drawCodes(GrayBitmap& bitmap, const std::vector<GlyphCell>& cells, const PlacedText& text) {
    std::size_t x = text.x;
    for (const std::uint16_t code : text.codes) {
        for (const std::uint8_t column : cells[code]) {
            for (std::size_t row = 0; row < kSheetCellPixels; ++row)
                if ((column >> row) & 1) bitmap.at(x, text.y + row) = kInk;
            ++x;
        }
    }
}

struct Row {
    std::size_t y = 0;
    std::string label;   // "G3" or an entry number
    bool groupName = false;
};

// Every text of the image with its codes, group by group; `rows` gets one
// row per group name and entry (y still 0).
Result<std::vector<PlacedText>> collectTexts(const DecodedImage& decoded, std::vector<Row>& rows) {
    std::vector<PlacedText> texts;
    for (int group = 0; group < static_cast<int>(kGroupCount); ++group) {
        const int entries = decoded.groups[static_cast<std::size_t>(group)].entryCount;
        rows.push_back(Row{0, std::string("G").append(std::to_string(group)), true});
        for (int entry = -1; entry < entries; ++entry) {
            if (entry >= 0) rows.push_back(Row{0, std::to_string(entry), false});
            const int fields = entry < 0 ? 1 : static_cast<int>(kFieldsPerEntry);
            for (int field = 0; field < fields; ++field) {
                const TextPlace place{group, entry, field};
                const StoredText* stored = nullptr;
                const DecodedGroup& g = decoded.groups[static_cast<std::size_t>(group)];
                if (entry < 0) {
                    stored = &g.name;
                } else {
                    const std::size_t index = std::size_t{g.firstEntry} + static_cast<std::size_t>(entry);
                    if (index >= decoded.entries.size())
                        return fail(describeTextPlace(place) + " lies past the image's entries");
                    stored = &decoded.entries[index][static_cast<std::size_t>(field)];
                }
                auto codes = expandText(decoded, *stored);
                if (!codes) return fail(describeTextPlace(place) + ": " + codes.reason());
                for (const std::uint16_t code : *codes)
                    if (code >= decoded.cells.size())
                        return fail(describeTextPlace(place) + ": character code " + std::to_string(code) +
                                    " has no glyph cell");
                texts.push_back(PlacedText{place, 0, 0, std::move(codes.value())});
            }
        }
    }
    return texts;
}

}  // namespace

Result<PreviewSheet> drawPreviewSheet(const DecodedImage& decoded) {
    std::vector<Row> rows;
    auto collected = collectTexts(decoded, rows);
    KVZ_TRY(collected);
    PreviewSheet sheet;
    sheet.texts = std::move(collected.value());

    // Column widths: the widest text of each field, at least its heading.
    std::array<std::size_t, kFieldsPerEntry> columnWidth{};
    for (std::size_t f = 0; f < kFieldsPerEntry; ++f) columnWidth[f] = labelWidth(kHeadings[f]);
    std::size_t nameWidth = 0, labelColumn = 0;
    for (const PlacedText& text : sheet.texts) {
        const std::size_t width = text.codes.size() * kSheetCellPixels;
        if (text.place.entry < 0)
            nameWidth = std::max(nameWidth, width);
        else
            columnWidth[static_cast<std::size_t>(text.place.field)] =
                std::max(columnWidth[static_cast<std::size_t>(text.place.field)], width);
    }
    for (const Row& row : rows) labelColumn = std::max(labelColumn, labelWidth(row.label));

    std::array<std::size_t, kFieldsPerEntry> columnX{};
    columnX[0] = kMargin + labelColumn + kLabelGap;
    for (std::size_t f = 1; f < kFieldsPerEntry; ++f)
        columnX[f] = columnX[f - 1] + columnWidth[f - 1] + kColumnGap;
    const std::size_t textEnd = std::max(columnX[kFieldsPerEntry - 1] + columnWidth[kFieldsPerEntry - 1],
                                         columnX[0] + nameWidth);

    std::size_t y = kMargin + kHeadingPitch;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].groupName) y += kGroupGap;
        rows[r].y = y;
        y += kSheetRowPitch;
    }

    GrayBitmap& bitmap = sheet.bitmap;
    bitmap.width = textEnd + kMargin;
    bitmap.height = y + kMargin;
    bitmap.pixels.assign(bitmap.width * bitmap.height, kPaper);

    for (std::size_t f = 0; f < kFieldsPerEntry; ++f) drawLabel(bitmap, columnX[f], kMargin, kHeadings[f]);
    std::size_t text = 0;
    for (const Row& row : rows) {
        drawLabel(bitmap, kMargin + labelColumn - labelWidth(row.label), row.y, row.label);
        if (row.groupName)
            for (std::size_t x = kMargin; x < textEnd; ++x) bitmap.at(x, row.y - kRuleOffset) = kRuleInk;
        const std::size_t fields = row.groupName ? 1 : kFieldsPerEntry;
        for (std::size_t f = 0; f < fields; ++f, ++text) {
            PlacedText& placed = sheet.texts[text];
            placed.x = columnX[f];
            placed.y = row.y;
            drawCodes(bitmap, decoded.cells, placed);
        }
    }
    return sheet;
}

Result<std::vector<std::uint8_t>> encodePng(const GrayBitmap& bitmap, int scale) {
    if (scale < 1 || bitmap.width == 0 || bitmap.height == 0) return fail("nothing to draw");
    return encodeRunLengthPng(bitmap, scale);
}

}  // namespace kvz
