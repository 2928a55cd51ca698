#include "core/convert.h"

#include <algorithm>
#include <map>
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
    std::size_t streamValuesAtGlance = 0;  // --best: its stream within work.glance steps
};

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

// Where encodeTexts goes on past a refusal (for a report): the first refusal
// is kept here, and the texts are encoded as far as they can be.
struct Refusal {
    Status first = success();
    void keep(const Failure& failure) {
        if (first) first = failure;
    }
};

// --best searches within `work` (see encodeBest). With `goOn`, a character
// too frequent, a group table no stream holds and a stream that cannot be
// written are noted there instead of failing: the table counts such a
// character 65535 times, and the stream stays empty (and --best unused).
Result<EncodedTexts> encodeTexts(const KvzFile& file, const PhraseProgress& progress, Encoder encoder,
                                 BestWork& work, Refusal* goOn = nullptr) {
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

// The refusal's search for the entries that fit converts cut decks with
// --best, each within kFitGuessSteps, while it has spent fewer than
// kFitSearchSteps on them: the whole refusal takes about twice the time of
// one conversion. Its sizes are those that --best gives within
// kFitGuessSteps, the whole deck's noted by its own conversion; a conversion
// within more steps never gives a larger image (see encodeBest), so that
// what fits here fits kvzpack --best too, though a few entries more may.
constexpr std::uint64_t kFitGuessSteps = 45'000'000;
constexpr std::uint64_t kFitSearchSteps = 2 * kFitGuessSteps;

// The image size that a deck's texts give, within kFitGuessSteps with --best.
std::uint64_t imageSizeAtGlance(const EncodedTexts& texts) {
    return imageSizeFor(texts.streamValuesAtGlance, texts.encoding.charTable.size());
}

// The image size that the default encoding of the texts gives.
std::uint64_t defaultImageSizeOf(const EncodedTexts& texts) {
    return imageSizeFor(texts.standardStreamValues, texts.encoding.charTable.size());
}

// A conversion's work: --best within kBestSteps, noting its image within
// kFitGuessSteps for a refusal.
BestWork convertingWork() { return BestWork{kBestSteps, kFitGuessSteps}; }

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
        for (int step = 0; failing - fitting > 1 && stepsLeft_ > 0; ++step) {
            std::size_t guess = fitting + (failing - fitting) / 2;
            if (step < kGuessingSteps) guess = std::clamp(secantGuess(previous, latest), fitting + 1, failing - 1);
            (fits(guess) ? fitting : failing) = guess;
            previous = latest;
            latest = guess;
        }
        return fitting;
    }

    // A cut deck's image, with --best within kFitGuessSteps.
    std::uint64_t sizeOf(std::size_t entries) {
        if (auto known = sizes_.find(entries); known != sizes_.end()) return known->second;
        BestWork work{kFitGuessSteps, kFitGuessSteps};
        auto texts = encodeTexts(firstEntries(file_, entries), {}, encoder_, work);
        stepsLeft_ -= std::min(stepsLeft_, work.spent);
        return sizes_[entries] = texts ? imageSizeOf(*texts) : kTooLarge;
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
    std::uint64_t stepsLeft_ = kFitSearchSteps;  // --best's
};

// entriesThatFit for a deck whose image does not fit, told the image sizes
// of the whole deck: with the encoder (with --best within kFitGuessSteps),
// and with the default one.
std::size_t fittingEntries(const KvzFile& file, Encoder encoder, std::uint64_t wholeDeckBytes,
                           std::uint64_t wholeDeckDefaultBytes) {
    const std::size_t entries = countEntries(file);
    FitSearch search(file, encoder);
    search.remember(entries, wholeDeckBytes);
    if (encoder == Encoder::standard) return search.lastFitting(0, entries);
    // --best never makes an image larger, so whatever fits the default fits
    // it. Its size there is not measured but estimated, with the whole deck's
    // saving, for the first guess: both ends then cost no --best conversion.
    FitSearch standard(file, Encoder::standard);
    standard.remember(entries, wholeDeckDefaultBytes);
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
bool fitsWithBest(const KvzFile& file, const Conversion& whole) {
    return !noImageCanFit(whole.linesBefore, whole.charTable.size()) && fitsTheDevice(file, Encoder::best);
}

std::string tooLargeReason(const KvzFile& file, const Conversion& whole) {
    const std::size_t entries = countEntries(file);
    const std::size_t fitting =
        fittingEntries(file, whole.encoder, imageSizeFor(whole.streamValuesAtGlance, whole.charTable.size()),
                       imageSizeFor(whole.standardStreamValues, whole.charTable.size()));
    std::string reason = "image of " + std::to_string(conversionImageSize(whole)) + " bytes exceeds the device's " +
                         std::to_string(kImageCapacity) + " bytes; the first " + std::to_string(fitting) + " of " +
                         std::to_string(entries) + " entries fit";
    if (whole.encoder == Encoder::standard)
        reason += fitsWithBest(file, whole) ? "; with --best all of them fit" : "; not all of them fit with --best either";
    return reason;
}

}  // namespace

Result<ImageSizes> measureImage(const KvzFile& file, Encoder encoder) {
    BestWork work;
    auto texts = encodeTexts(file, {}, encoder, work);
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

KvzFile firstEntries(const KvzFile& file, std::size_t entries) { return entriesBetween(file, 0, entries); }

namespace {

// The offset of text `index` in the text block, or its size when the block
// holds fewer texts.
std::size_t textOffset(const TextBlock& block, std::size_t index) {
    std::size_t at = 0;
    for (std::size_t t = 0; t < index && at < block.size() && block[at] != 0; ++t)
        while (at < block.size() && block[at++] != 0) {
        }
    return at;
}

}  // namespace

KvzFile entriesBetween(const KvzFile& file, std::size_t first, std::size_t count) {
    KvzFile part;
    std::size_t start = 0;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const std::size_t end = start + file.groupCounts[g];
        const std::size_t from = std::max(start, first), to = std::min(end, first + count);
        part.groupCounts[g] = static_cast<std::uint32_t>(to > from ? to - from : 0);
        start = end;
    }
    const TextBlock& block = file.textBlock;
    const auto at = [&](std::size_t index) { return block.begin() + static_cast<std::ptrdiff_t>(textOffset(block, index)); };
    part.textBlock.assign(block.begin(), at(kGroupCount));
    part.textBlock.insert(part.textBlock.end(), at(kGroupCount + kFieldsPerEntry * first),
                          at(kGroupCount + kFieldsPerEntry * (first + count)));
    part.textBlock.push_back(0);
    return part;
}

std::size_t entriesThatFit(const KvzFile& file, Encoder encoder) {
    BestWork work = convertingWork();
    auto texts = encodeTexts(file, {}, encoder, work);
    if (texts && imageSizeOf(*texts) <= kImageCapacity) return countEntries(file);
    if (!texts) return fittingEntries(file, encoder, ~std::uint64_t{0}, ~std::uint64_t{0});
    return fittingEntries(file, encoder, imageSizeAtGlance(*texts), defaultImageSizeOf(*texts));
}

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

Failure refuseTooLarge(const KvzFile& file, const Conversion& whole) { return fail(tooLargeReason(file, whole)); }

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
