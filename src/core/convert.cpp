#include "core/convert.h"

#include <string>

#include "compress/best.h"
#include "glyph/glyph.h"

namespace kvz {
namespace {

// The texts encoded and written as the stream, before the image is built.
struct EncodedTexts {
    TextEncoding encoding;
    EncodingFrame frame;
    std::vector<std::uint8_t> stream;
    std::size_t standardStreamValues = 0;
};

Result<EncodedTexts> encodeTexts(const KvzFile& file, const PhraseProgress& progress, Encoder encoder) {
    auto table = countChars(file.textBlock);
    if (!table) return table.failure();
    EncodedTexts result;
    result.encoding.charTable = std::move(table.value());
    sortCharTable(result.encoding.charTable);

    result.encoding.codeLines = encode16(result.encoding.charTable, file.textBlock);
    const std::uint32_t codesBefore = getCodes16(result.encoding.codeLines);
    if (codesBefore > 0xFFFF)
        return fail("the texts need " + std::to_string(codesBefore) + " codes; at most 65535 can be numbered");
    result.frame = EncodingFrame{getLines16(result.encoding.codeLines), static_cast<std::uint16_t>(codesBefore),
                                 file.groupCounts};
    substitutePhrases(result.encoding.codeLines, result.frame.codesBefore, progress);

    auto stream = encode8(result.encoding.codeLines, countPhraseLines(result.encoding.codeLines, result.frame),
                          result.frame.codesBefore, file.groupCounts);
    if (!stream) return stream.failure();
    result.standardStreamValues = stream->size();
    if (encoder == Encoder::best) {
        TextEncoding best = encodeBest(result.encoding, result.frame);
        if (best.codeLines != result.encoding.codeLines) {
            stream = encode8(best.codeLines, countPhraseLines(best.codeLines, result.frame), result.frame.codesBefore,
                             file.groupCounts);
            if (!stream) return stream.failure();
            result.encoding = std::move(best);
        }
    }
    result.stream = std::move(stream.value());
    return result;
}

std::uint64_t imageSizeOf(const EncodedTexts& texts) {
    return imageSizeFor(texts.stream.size(), texts.encoding.charTable.size());
}

bool fitsTheDevice(const KvzFile& file, Encoder encoder) {
    auto texts = encodeTexts(file, {}, encoder);
    return texts && imageSizeOf(*texts) <= kImageCapacity;
}

std::string tooLargeReason(const KvzFile& file, std::uint64_t imageSize, Encoder encoder) {
    const std::size_t entries = countEntries(file);
    std::string reason = "image of " + std::to_string(imageSize) + " bytes exceeds the device's " +
                         std::to_string(kImageCapacity) + " bytes; the first " +
                         std::to_string(entriesThatFit(file, encoder)) + " of " + std::to_string(entries) +
                         " entries fit";
    if (encoder == Encoder::standard)
        reason += fitsTheDevice(file, Encoder::best) ? "; with --best all of them fit"
                                                     : "; not all of them fit with --best either";
    return reason;
}

}  // namespace

std::size_t countEntries(const KvzFile& file) {
    std::size_t entries = 0;
    for (std::uint32_t count : file.groupCounts) entries += count;
    return entries;
}

KvzFile firstEntries(const KvzFile& file, std::size_t entries) {
    KvzFile cut;
    std::size_t left = entries;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        cut.groupCounts[g] = static_cast<std::uint32_t>(std::min<std::size_t>(left, file.groupCounts[g]));
        left -= cut.groupCounts[g];
    }
    const std::size_t texts = kGroupCount + kFieldsPerEntry * (entries - left);
    std::size_t at = 0;
    for (std::size_t t = 0; t < texts && at < file.textBlock.size() && file.textBlock[at] != 0; ++t)
        while (at < file.textBlock.size() && file.textBlock[at++] != 0) {
        }
    cut.textBlock.assign(file.textBlock.begin(), file.textBlock.begin() + static_cast<std::ptrdiff_t>(at));
    cut.textBlock.push_back(0);
    return cut;
}

std::size_t entriesThatFit(const KvzFile& file, Encoder encoder) {
    std::size_t fitting = 0, failing = countEntries(file) + 1;  // fitting fits (or is 0), failing does not
    if (fitsTheDevice(file, encoder)) return failing - 1;
    failing -= 1;
    while (failing - fitting > 1) {
        const std::size_t middle = fitting + (failing - fitting) / 2;
        if (fitsTheDevice(firstEntries(file, middle), encoder))
            fitting = middle;
        else
            failing = middle;
    }
    return fitting;
}

Result<Conversion> convertKvz(const KvzFile& file, const PhraseProgress& progress, Encoder encoder) {
    auto texts = encodeTexts(file, progress, encoder);
    if (!texts) return texts.failure();
    if (const std::uint64_t size = imageSizeOf(*texts); size > kImageCapacity)
        return fail(tooLargeReason(file, size, encoder));
    Conversion result;
    result.charTable = std::move(texts->encoding.charTable);
    result.codeLines = std::move(texts->encoding.codeLines);
    result.linesBefore = texts->frame.linesBefore;
    result.codesBefore = texts->frame.codesBefore;
    result.stream = std::move(texts->stream);
    result.standardStreamValues = texts->standardStreamValues;
    auto image = encode7(kLoadAddress, result.charTable, result.stream);
    if (!image) return image.failure();
    result.image = std::move(image.value());
    return result;
}

}  // namespace kvz
