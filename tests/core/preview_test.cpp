// The preview sheet's layout: every text has a place of its own.
#include "core/preview.h"

#include <gtest/gtest.h>

#include "core/pack.h"
#include "decode/decode.h"
#include "glyph/glyph.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

TEST(PreviewSheet, TextsDoNotOverlap) {
    auto packed = packDeckBytes(testing::bundledDeckBytes("sample.kvz"), PackOptions{false, false});
    ASSERT_TRUE(packed.ok()) << packed.reason();
    auto decoded = decodeImage(packed->image, kLoadAddress);
    ASSERT_TRUE(decoded.ok()) << decoded.reason();
    auto sheet = drawPreviewSheet(*decoded);
    ASSERT_TRUE(sheet.ok()) << sheet.reason();
    const auto& texts = sheet->texts;
    ASSERT_EQ(texts.size(), kGroupCount + kFieldsPerEntry * decoded->entries.size());
    for (std::size_t a = 0; a < texts.size(); ++a)
        for (std::size_t b = a + 1; b < texts.size(); ++b) {
            const bool apartX = texts[a].x + 7 * texts[a].codes.size() <= texts[b].x ||
                                texts[b].x + 7 * texts[b].codes.size() <= texts[a].x;
            const bool apartY = texts[a].y + 7 <= texts[b].y || texts[b].y + 7 <= texts[a].y;
            ASSERT_TRUE(apartX || apartY) << describeTextPlace(texts[a].place) << " and "
                                          << describeTextPlace(texts[b].place);
        }
}

}  // namespace
}  // namespace kvz
