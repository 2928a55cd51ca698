#include "core/convert.h"

#include "glyph/glyph.h"

namespace kvz {

Result<Conversion> convertKvz(const KvzFile& file, const PhraseProgress& progress) {
    Conversion result;
    auto table = countChars(file.textBlock);
    KVZ_TRY(table);
    result.charTable = std::move(table.value());
    sortCharTable(result.charTable);

    result.codeLines = encode16(result.charTable, file.textBlock);
    result.linesBefore = getLines16(result.codeLines);
    result.codesBefore = getCodes16(result.codeLines);
    if (result.codesBefore > 0xFFFF)
        return fail("the texts need " + std::to_string(result.codesBefore) +
                    " codes; at most 65535 can be numbered");
    const auto codesBefore = static_cast<std::uint16_t>(result.codesBefore);
    substitutePhrases(result.codeLines, codesBefore, progress);

    const auto phraseLines =
        static_cast<std::int32_t>(getLines16(result.codeLines) - result.linesBefore);
    auto stream = encode8(result.codeLines, phraseLines, codesBefore, file.groupCounts);
    KVZ_TRY(stream);
    result.stream = std::move(stream.value());

    auto image = encode7(kLoadAddress, result.charTable, result.stream);
    KVZ_TRY(image);
    result.image = std::move(image.value());
    return result;
}

}  // namespace kvz
