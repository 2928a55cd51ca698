#include "core/convert.h"
#include "core/convert_internal.h"

#include <algorithm>
#include <string>

#include "common/layout.h"
#include "compress/best.h"
#include "glyph/glyph.h"

namespace kvz {
namespace convert_internal {
namespace {

// The character table with every count above 65535 taken as 65535: the
// table of a deck that countChars refuses, in the same order.
CharTable saturatedCharTable(const TextBlock& textBlock) {
    constexpr std::uint32_t kMost = 0xFFFF;
    std::vector<std::int32_t> indexOf(1 << 16, -1);
    std::vector<std::uint32_t> counts;
    CharTable table;
    forEachCharacter(
        textBlock,
        [&](CharCode code) {
            std::int32_t& index = indexOf[static_cast<std::uint16_t>(code[0] << 8 | code[1])];
            if (index < 0) {
                index = static_cast<std::int32_t>(table.size());
                table.push_back(CharEntry{code, 0});
                counts.push_back(0);
            }
            ++counts[static_cast<std::size_t>(index)];
        },
        [](std::size_t) {});
    for (std::size_t i = 0; i < table.size(); ++i) table[i].count = static_cast<std::uint16_t>(std::min(counts[i], kMost));
    return table;
}

}  // namespace

Result<EncodedTexts> encodeTexts(const KvzFile& file, const PhraseProgress& progress, Encoder encoder,
                                 BestWork& work, Refusal* goOn) {
    auto table = countChars(file.textBlock);
    if (!table && goOn) {
        goOn->keep(table.failure());
        table = saturatedCharTable(file.textBlock);
    }
    KVZ_TRY(table);
    // Whatever the phrases, such a group table cannot be written: refused
    // before the phrase search, which grows faster than the deck.
    if (Status groups = checkGroupTableFitsAnyStream(file.groupCounts); !groups) {
        if (!goOn) return groups.failure();
        goOn->keep(groups.failure());
    }
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
    if (!stream && goOn) {
        goOn->keep(stream.failure());
        return result;
    }
    KVZ_TRY(stream);
    result.standardStreamValues = stream->size();
    result.streamValuesAtGlance = stream->size();
    if (encoder == Encoder::best && !(goOn && !goOn->first)) {
        TextEncoding best = encodeBest(result.encoding, result.frame, work);
        result.streamValuesAtGlance = work.streamAtGlance;
        if (best.codeLines != result.encoding.codeLines) {
            stream = writeBestStream(best.codeLines, result.frame);
            KVZ_TRY(stream);
            result.encoding = std::move(best);
        }
    }
    result.stream = std::move(stream.value());
    return result;
}

std::uint64_t imageSizeOf(const EncodedTexts& texts) {
    return imageSizeFor(texts.stream.size(), texts.encoding.charTable.size());
}

std::uint64_t imageSizeAtGlance(const EncodedTexts& texts) {
    return imageSizeFor(texts.streamValuesAtGlance, texts.encoding.charTable.size());
}

std::uint64_t defaultImageSizeOf(const EncodedTexts& texts) {
    return imageSizeFor(texts.standardStreamValues, texts.encoding.charTable.size());
}

}  // namespace convert_internal

using namespace convert_internal;

namespace {

// The conversion of texts already encoded; the image is built where it fits
// the device.
Result<Conversion> conversionOf(EncodedTexts&& texts, Encoder encoder) {
    const bool fits = imageSizeOf(texts) <= kImageCapacity;
    Conversion result;
    result.charTable = std::move(texts.encoding.charTable);
    result.codeLines = std::move(texts.encoding.codeLines);
    result.linesBefore = texts.frame.linesBefore;
    result.codesBefore = texts.frame.codesBefore;
    result.stream = std::move(texts.stream);
    result.encoder = encoder;
    result.standardStreamValues = texts.standardStreamValues;
    result.streamValuesAtGlance = texts.streamValuesAtGlance;
    if (const std::uint32_t codes = getCodes16(result.codeLines); streamLimitLowered(codes, texts.frame.codesBefore))
        result.warnings.push_back(describeLoweredLimit(codes, texts.frame.codesBefore));
    if (!fits) return result;
    auto image = encode7(kLoadAddress, result.charTable, result.stream);
    KVZ_TRY(image);
    result.image = std::move(image.value());
    return result;
}

}  // namespace

Result<Conversion> convertKvz(const KvzFile& file, const PhraseProgress& progress, Encoder encoder) {
    auto conversion = encodeKvz(file, progress, encoder);
    KVZ_TRY(conversion);
    if (conversionImageSize(*conversion) > kImageCapacity) return refuseTooLarge(file, *conversion);
    return conversion;
}


ReportedEncoding encodeForReport(const KvzFile& file, const PhraseProgress& progress, Encoder encoder) {
    BestWork work = convertingWork();
    Refusal refusal;
    auto texts = encodeTexts(file, progress, encoder, work, &refusal);
    if (!texts) return ReportedEncoding{{}, texts.failure(), false};
    if (refusal.first) {
        auto conversion = conversionOf(std::move(texts.value()), encoder);
        if (!conversion) return ReportedEncoding{{}, conversion.failure(), false};
        return ReportedEncoding{std::move(conversion.value()), success(), true};
    }
    Conversion measured;
    measured.charTable = std::move(texts->encoding.charTable);
    measured.codeLines = std::move(texts->encoding.codeLines);
    measured.linesBefore = texts->frame.linesBefore;
    measured.codesBefore = texts->frame.codesBefore;
    measured.stream = std::move(texts->stream);
    measured.standardStreamValues = texts->standardStreamValues;
    measured.streamValuesAtGlance = texts->streamValuesAtGlance;
    return ReportedEncoding{std::move(measured), std::move(refusal.first), true};
}

Result<Conversion> encodeKvz(const KvzFile& file, const PhraseProgress& progress, Encoder encoder) {
    BestWork work = convertingWork();
    auto texts = encodeTexts(file, progress, encoder, work);
    KVZ_TRY(texts);
    return conversionOf(std::move(texts.value()), encoder);
}

std::uint64_t conversionImageSize(const Conversion& conversion) {
    return imageSizeFor(conversion.stream.size(), conversion.charTable.size());
}

}  // namespace kvz
