// Refusing decks that no image can fit, from the read deck to the reason.
//   build/kvzpack_bench --benchmark_filter=Refusal
// GroupTable16MB: 8 groups of 8191 entries with full fields (16 MB), whose
// group table fits no stream: refused before the phrase search, which took
// 13 s on this deck before. LinesAlone: 6206 one-kanji entries, whose lines
// alone exceed the device: the refusal's figures come from the whole deck's
// conversion and the search for the entries that fit, without --best.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "core/convert.h"
#include "support/fixtures.h"

namespace {

kvz::KvzFile readDeck(const std::vector<std::uint8_t>& bytes) {
    auto file = kvz::readKvzBytes(bytes);
    if (!file) {
        std::fprintf(stderr, "refusal benchmark deck: %s\n", file.reason().c_str());
        std::exit(1);
    }
    return std::move(file.value());
}

void refuse(benchmark::State& state, const kvz::KvzFile& deck) {
    for (auto _ : state) {
        auto conversion = kvz::convertKvz(deck);
        if (conversion) state.SkipWithError("the deck converts");
        benchmark::DoNotOptimize(conversion);
    }
}

void BM_Refusal_GroupTable16MB(benchmark::State& state) {
    static const kvz::KvzFile deck =
        readDeck(kvz::testing::randomKanjiDeck({8191, 8191, 8191, 8191, 8191, 8191, 8191, 8191}, 58, 14));
    refuse(state, deck);
}
BENCHMARK(BM_Refusal_GroupTable16MB)->Unit(benchmark::kMillisecond);

void BM_Refusal_LinesAlone(benchmark::State& state) {
    static const kvz::KvzFile deck = readDeck(kvz::testing::randomKanjiDeck({1, 1, 1, 1, 1, 1, 3100, 3100}, 1, 1));
    refuse(state, deck);
}
BENCHMARK(BM_Refusal_LinesAlone)->Unit(benchmark::kMillisecond);

}  // namespace
