// --best near the device's limit: vocabulary tables of 1500 distinct kanji
// (the test support's manyKanjiDeck, seed 1) from 1500 to 2800 cards, the
// larger ones past the device. Each conversion's time (a refusal with its
// search for the entries that fit), and as counters the packed stream of
// each encoder, --best's saving in percent of the default's stream, the
// image and whether it fits.
//   build/kvzpack_bench --benchmark_filter=ManyKanji
#include <benchmark/benchmark.h>

#include <string>

#include "common/layout.h"
#include "core/convert.h"
#include "support/fixtures.h"

namespace {

constexpr std::size_t kDistinctKanji = 1500;

void convertManyKanji(benchmark::State& state, std::size_t cards, kvz::Encoder encoder) {
    const kvz::Result<kvz::KvzFile> deck = kvz::readKvzBytes(kvz::testing::manyKanjiDeck(cards, kDistinctKanji, 1));
    if (!deck) {
        state.SkipWithError(deck.reason().c_str());
        return;
    }
    for (auto _ : state) {
        auto conversion = kvz::convertKvz(*deck, {}, encoder);
        benchmark::DoNotOptimize(conversion);
    }
    const auto standard = kvz::measureImage(*deck, kvz::Encoder::standard);
    const auto sizes = kvz::measureImage(*deck, encoder);
    if (!standard || !sizes) {
        state.SkipWithError((standard ? sizes.reason() : standard.reason()).c_str());
        return;
    }
    const auto standardBytes = static_cast<double>(standard->streamBytes);
    state.counters["stream"] = static_cast<double>(sizes->streamBytes);
    state.counters["saved_pct"] = 100.0 * (standardBytes - static_cast<double>(sizes->streamBytes)) / standardBytes;
    state.counters["image"] = static_cast<double>(sizes->imageBytes);
    state.counters["fits"] = sizes->imageBytes <= kvz::kImageCapacity ? 1 : 0;
}

[[maybe_unused]] const bool registered = [] {
    for (std::size_t cards = 1500; cards <= 2800; cards += 100) {
        for (const auto& [label, encoder] : {std::pair{"default", kvz::Encoder::standard},
                                             std::pair{"best", kvz::Encoder::best}}) {
            benchmark::RegisterBenchmark(("ManyKanji/" + std::to_string(cards) + "/" + label).c_str(),
                                         [cards, encoder = encoder](benchmark::State& state) {
                                             convertManyKanji(state, cards, encoder);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    return true;
}();

}  // namespace
