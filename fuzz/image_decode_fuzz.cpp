// What --inspect, kvzdeck dump and the page do with an image, on arbitrary
// bytes up to the device's size: decode it, and for one that decodes, its
// summary, the first entry drawn, the preview sheet and the deck it holds.
// None may crash, and the work stays bounded by the image's size: no text
// of a decoded image expands past its field's width.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "common/layout.h"
#include "core/image_deck.h"
#include "core/inspect.h"
#include "core/preview.h"
#include "decode/decode.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "image_decode_fuzz: %s\n", what);
    std::abort();
}

void expectWithinItsField(const kvz::DecodedImage& image, const kvz::StoredText& text, const kvz::TextPlace& place) {
    auto codes = kvz::expandText(image, text);
    if (codes && codes->size() > kvz::maxTextCharacters(place)) finding("a text expands past its field");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    auto decoded = kvz::decodeImage(bytes, kvz::kLoadAddress);
    if (!decoded) return 0;
    std::size_t index = 0;
    for (int g = 0; g < static_cast<int>(kvz::kGroupCount); ++g) {
        const kvz::DecodedGroup& group = decoded->groups[static_cast<std::size_t>(g)];
        expectWithinItsField(*decoded, group.name, {g, -1, 0});
        for (int e = 0; e < group.entryCount; ++e, ++index)
            for (int f = 0; f < static_cast<int>(kvz::kFieldsPerEntry); ++f)
                expectWithinItsField(*decoded, decoded->entries[index][static_cast<std::size_t>(f)], {g, e, f});
    }
    (void)kvz::formatImageSummary("image.ihx", bytes, *decoded);
    (void)kvz::drawSelection(*decoded, kvz::EntrySelection{0, 0});
    (void)kvz::drawPreviewSheet(*decoded);
    (void)kvz::dumpImageDeck(*decoded);
    return 0;
}
