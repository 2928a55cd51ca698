// The refusal of a deck too large: how many of its first entries fit, found
// by a search over cut decks, and whether --best makes all of them fit.
#include <algorithm>
#include <map>
#include <string>

#include "common/layout.h"
#include "core/convert.h"
#include "core/convert_internal.h"
#include "core/split.h"
#include "glyph/glyph.h"

namespace kvz {

using namespace convert_internal;

namespace {

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

std::size_t entriesThatFit(const KvzFile& file, Encoder encoder) {
    BestWork work = convertingWork();
    auto texts = encodeTexts(file, {}, encoder, work);
    if (texts && imageSizeOf(*texts) <= kImageCapacity) return countEntries(file);
    if (!texts) return fittingEntries(file, encoder, ~std::uint64_t{0}, ~std::uint64_t{0});
    return fittingEntries(file, encoder, imageSizeAtGlance(*texts), defaultImageSizeOf(*texts));
}

Failure refuseTooLarge(const KvzFile& file, const Conversion& whole) { return fail(tooLargeReason(file, whole)); }

}  // namespace kvz
