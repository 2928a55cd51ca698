// What the conversion and the search for the entries that fit share: the
// texts encoded before the image is built, and the budgets of --best's
// steps. Private to the core module.
#pragma once

#include <cstdint>
#include <vector>

#include "common/result.h"
#include "compress/best.h"
#include "compress/compress.h"
#include "core/convert.h"
#include "input/kvz.h"

namespace kvz::convert_internal {

// The texts encoded and written as the stream, before the image is built.
struct EncodedTexts {
    TextEncoding encoding;
    EncodingFrame frame;
    std::vector<std::uint8_t> stream;
    std::size_t standardStreamValues = 0;
    std::size_t streamValuesAtGlance = 0;  // --best: its stream within work.glance steps
};

// Where encodeTexts goes on past a refusal (for a report): the first refusal
// is kept here, and the texts are encoded as far as they can be.
struct Refusal {
    Status first = success();
    void keep(const Failure& failure) {
        if (first) first = failure;
    }
};

// Encodes the deck's texts into the stream. --best searches within `work`
// (see encodeBest). With `goOn`, a character too frequent, a group table no
// stream holds and a stream that cannot be written are noted there instead
// of failing: the table counts such a character 65535 times, and the stream
// stays empty (and --best unused).
Result<EncodedTexts> encodeTexts(const KvzFile& file, const PhraseProgress& progress, Encoder encoder,
                                 BestWork& work, Refusal* goOn = nullptr);

// The image size that the encoded texts give.
std::uint64_t imageSizeOf(const EncodedTexts& texts);

// The refusal's search for the entries that fit converts cut decks with
// --best, each within kFitGuessSteps, while it has spent fewer than
// kFitSearchSteps on them: the whole refusal takes about twice the time of
// one conversion. Its sizes are those that --best gives within
// kFitGuessSteps, the whole deck's noted by its own conversion; a conversion
// within more steps never gives a larger image (see encodeBest), so that
// what fits here fits kvzpack --best too, though a few entries more may.
inline constexpr std::uint64_t kFitGuessSteps = 45'000'000;
inline constexpr std::uint64_t kFitSearchSteps = 2 * kFitGuessSteps;

// The image size that a deck's texts give, within kFitGuessSteps with --best.
std::uint64_t imageSizeAtGlance(const EncodedTexts& texts);

// The image size that the default encoding of the texts gives.
std::uint64_t defaultImageSizeOf(const EncodedTexts& texts);

// A conversion's work: --best within kBestSteps, noting its image within
// kFitGuessSteps for a refusal.
inline BestWork convertingWork() { return BestWork{kBestSteps, kFitGuessSteps}; }

}  // namespace kvz::convert_internal
