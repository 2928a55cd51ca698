#include "core/convert.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "common/layout.h"
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
    KVZ_TRY(table);
    // Whatever the phrases, such a group table cannot be written: refused
    // before the phrase search, which grows faster than the deck.
    KVZ_TRY(checkGroupTableFitsAnyStream(file.groupCounts));
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
    KVZ_TRY(stream);
    result.standardStreamValues = stream->size();
    if (encoder == Encoder::best) {
        TextEncoding best = encodeBest(result.encoding, result.frame);
        if (best.codeLines != result.encoding.codeLines) {
            stream = encode8(best.codeLines, countPhraseLines(best.codeLines, result.frame), result.frame.codesBefore,
                             file.groupCounts);
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

// How many of a deck's first entries fit: the image grows about evenly with
// the entries, so each step guesses the boundary from the sizes at both ends
// of the interval (halving it every other step, so that it shrinks surely).
class FitSearch {
public:
    FitSearch(const KvzFile& file, Encoder encoder) : file_(file), encoder_(encoder) {}

    bool fits(std::size_t entries) { return sizeOf(entries) <= kImageCapacity; }
    // `imageBytes` stands for the image of the first `entries`: their real
    // size, or an estimate that fits whenever the real size fits.
    void remember(std::size_t entries, std::uint64_t imageBytes) { sizes_[entries] = imageBytes; }

    // The last count that fits, given that `fitting` fits (or is 0) and
    // `failing` does not.
    std::size_t lastFitting(std::size_t fitting, std::size_t failing) {
        if (!fits(fitting)) return fitting;  // only when 0: the group names alone are too large
        std::size_t previous = fitting, latest = failing;
        for (int step = 0; failing - fitting > 1; ++step) {
            std::size_t guess = fitting + (failing - fitting) / 2;
            if (step < kGuessingSteps) guess = std::clamp(secantGuess(previous, latest), fitting + 1, failing - 1);
            (fits(guess) ? fitting : failing) = guess;
            previous = latest;
            latest = guess;
        }
        return fitting;
    }

    std::uint64_t sizeOf(std::size_t entries) {
        if (auto known = sizes_.find(entries); known != sizes_.end()) return known->second;
        auto sizes = measureImage(firstEntries(file_, entries), encoder_);
        return sizes_[entries] = sizes ? sizes->imageBytes : kTooLarge;
    }

private:
    static constexpr std::uint64_t kTooLarge = ~std::uint64_t{0};
    static constexpr int kGuessingSteps = 6;  // then plain halving

    // Where the line through the sizes at a and b reaches the capacity.
    std::size_t secantGuess(std::size_t a, std::size_t b) {
        const auto sa = static_cast<double>(sizeOf(a)), sb = static_cast<double>(sizeOf(b));
        if (sizeOf(a) == kTooLarge || sizeOf(b) == kTooLarge || sa == sb) return (a + b) / 2;
        const double at = static_cast<double>(a) + (kImageCapacity - sa) * (static_cast<double>(b) - static_cast<double>(a)) / (sb - sa);
        return at <= 0 ? 0 : static_cast<std::size_t>(at);
    }

    const KvzFile& file_;
    Encoder encoder_;
    std::map<std::size_t, std::uint64_t> sizes_;
};

// entriesThatFit, told the whole deck's image size when it is known.
std::size_t fittingEntries(const KvzFile& file, Encoder encoder, std::optional<std::uint64_t> wholeDeckBytes) {
    const std::size_t entries = countEntries(file);
    FitSearch search(file, encoder);
    if (wholeDeckBytes) search.remember(entries, *wholeDeckBytes);
    if (search.fits(entries)) return entries;
    if (encoder == Encoder::standard) return search.lastFitting(0, entries);
    // --best never makes an image larger, so whatever fits the default fits
    // it. Its size there is not measured but estimated, with the whole deck's
    // saving, for the first guess: both ends then cost no --best conversion.
    FitSearch standard(file, Encoder::standard);
    const std::size_t known = standard.fits(entries) ? entries : standard.lastFitting(0, entries);
    if (standard.fits(known)) {  // else only 0 entries, measured with --best as they are
        const double saving = static_cast<double>(search.sizeOf(entries)) / static_cast<double>(standard.sizeOf(entries));
        search.remember(known, static_cast<std::uint64_t>(static_cast<double>(standard.sizeOf(known)) * std::min(saving, 1.0)));
    }
    return search.lastFitting(known, entries);
}

bool fitsTheDevice(const KvzFile& file, Encoder encoder) {
    auto sizes = measureImage(file, encoder);
    return sizes && sizes->imageBytes <= kImageCapacity;
}

// Whether --best makes the whole deck fit; not tried where the texts' lines
// alone rule out every image.
bool fitsWithBest(const KvzFile& file, const EncodedTexts& texts) {
    return !noImageCanFit(texts.frame.linesBefore, texts.encoding.charTable.size()) &&
           fitsTheDevice(file, Encoder::best);
}

std::string tooLargeReason(const KvzFile& file, const EncodedTexts& texts, Encoder encoder) {
    const std::uint64_t imageSize = imageSizeOf(texts);
    const std::size_t entries = countEntries(file);
    std::string reason = "image of " + std::to_string(imageSize) + " bytes exceeds the device's " +
                         std::to_string(kImageCapacity) + " bytes; the first " +
                         std::to_string(fittingEntries(file, encoder, imageSize)) + " of " + std::to_string(entries) +
                         " entries fit";
    if (encoder == Encoder::standard)
        reason += fitsWithBest(file, texts) ? "; with --best all of them fit" : "; not all of them fit with --best either";
    return reason;
}

}  // namespace

Result<ImageSizes> measureImage(const KvzFile& file, Encoder encoder) {
    auto texts = encodeTexts(file, {}, encoder);
    KVZ_TRY(texts);
    return ImageSizes{packedSize(texts->stream.size()), imageSizeOf(*texts)};
}

bool noImageCanFit(std::uint64_t textLines, std::uint64_t characters) {
    return imageSizeFor(leastStreamValues(textLines), characters) > kImageCapacity;
}

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

std::size_t entriesThatFit(const KvzFile& file, Encoder encoder) { return fittingEntries(file, encoder, {}); }

Result<Conversion> convertKvz(const KvzFile& file, const PhraseProgress& progress, Encoder encoder) {
    auto texts = encodeTexts(file, progress, encoder);
    KVZ_TRY(texts);
    if (imageSizeOf(*texts) > kImageCapacity) return fail(tooLargeReason(file, *texts, encoder));
    Conversion result;
    result.charTable = std::move(texts->encoding.charTable);
    result.codeLines = std::move(texts->encoding.codeLines);
    result.linesBefore = texts->frame.linesBefore;
    result.codesBefore = texts->frame.codesBefore;
    result.stream = std::move(texts->stream);
    result.encoder = encoder;
    result.standardStreamValues = texts->standardStreamValues;
    auto image = encode7(kLoadAddress, result.charTable, result.stream);
    KVZ_TRY(image);
    result.image = std::move(image.value());
    return result;
}

}  // namespace kvz
