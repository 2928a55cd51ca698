// A deck too large for the device: how many of its entries fit, and its
// split into images that fit, each with the default encoding and --best;
// and the report of where an image's bytes go.
//   build/kvzpack_bench --benchmark_filter=Space
// The deck too large is generated-196608.kvz in $KVZPACK_BENCH_DECKS
// (tools/bench-best.sh makes it: 1449 entries, 192 KiB of text); without it
// those benchmarks are skipped. SplitSearch counts the parts the plain way
// (every count from 2 up) against splitToFit's doubling and bisection, on
// the same deck with the default encoding.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "core/frontend.h"
#include "core/space.h"
#include "core/split.h"
#include "support/fixtures.h"

namespace {

std::optional<kvz::KvzFile> readDeck(const std::filesystem::path& path) {
    if (!std::filesystem::exists(path)) return std::nullopt;
    auto file = kvz::readKvzBytes(kvz::testing::readFileBytes(path));
    if (!file) return std::nullopt;
    return std::move(file.value());
}

const std::optional<kvz::KvzFile>& tooLargeDeck() {
    static const std::optional<kvz::KvzFile> deck = [] {
        const char* folder = std::getenv("KVZPACK_BENCH_DECKS");
        return folder ? readDeck(std::filesystem::path(folder) / "generated-196608.kvz") : std::nullopt;
    }();
    return deck;
}

kvz::Encoder encoderOf(const benchmark::State& state) {
    return state.range(0) ? kvz::Encoder::best : kvz::Encoder::standard;
}

void BM_Space_EntriesThatFit(benchmark::State& state) {
    const auto& deck = tooLargeDeck();
    if (!deck) return state.SkipWithError("no generated-196608.kvz in $KVZPACK_BENCH_DECKS");
    std::size_t fitting = 0;
    for (auto _ : state) benchmark::DoNotOptimize(fitting = kvz::entriesThatFit(*deck, encoderOf(state)));
    state.counters["fit"] = static_cast<double>(fitting);
}
BENCHMARK(BM_Space_EntriesThatFit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Space_Split(benchmark::State& state) {
    const auto& deck = tooLargeDeck();
    if (!deck) return state.SkipWithError("no generated-196608.kvz in $KVZPACK_BENCH_DECKS");
    const kvz::ConvertRequest request{kvz::PackOptions{true, false, encoderOf(state)}, false, true};
    std::size_t parts = 0;
    for (auto _ : state) {
        kvz::DeckConversion conversion = kvz::convertDeck(*deck, "deck", request);
        if (!conversion.images) return state.SkipWithError(conversion.images.reason().c_str());
        parts = conversion.images->size();
    }
    state.counters["parts"] = static_cast<double>(parts);
}
BENCHMARK(BM_Space_Split)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Space_SplitSearch(benchmark::State& state) {
    const auto& deck = tooLargeDeck();
    if (!deck) return state.SkipWithError("no generated-196608.kvz in $KVZPACK_BENCH_DECKS");
    std::size_t parts = 0;
    for (auto _ : state) {
        if (state.range(0)) {
            auto split = kvz::splitToFit(*deck, kvz::Encoder::standard, 0);
            parts = split ? split->size() : 0;
        } else {
            parts = kvz::fewestPartsPlainly(*deck, kvz::Encoder::standard);
        }
    }
    state.counters["parts"] = static_cast<double>(parts);
}
BENCHMARK(BM_Space_SplitSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Space_Report_Large(benchmark::State& state) {
    auto deck = kvz::readKvzBytes(kvz::testing::bundledDeckBytes("large.kvz"));
    if (!deck) return state.SkipWithError(deck.reason().c_str());
    auto conversion = kvz::convertKvz(*deck);
    if (!conversion) return state.SkipWithError(conversion.reason().c_str());
    for (auto _ : state) benchmark::DoNotOptimize(kvz::measureSpace(*deck, *conversion));
}
BENCHMARK(BM_Space_Report_Large)->Unit(benchmark::kMillisecond);

}  // namespace
