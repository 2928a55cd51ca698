// Speed of the conversion on the largest realistic deck (examples/large.tsv,
// 65471 bytes of normalised text) and on the bundled sample deck.
//   build/kvzpack_bench                      all benchmarks
//   build/kvzpack_bench --benchmark_filter=Fast
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "compress/compress.h"
#include "core/convert.h"
#include "deck/deck.h"
#include "reference/phrases_reference.h"
#include "support/fixtures.h"

namespace {

kvz::KvzFile loadDeck(const char* tsvName) {
    const std::string tsv = kvz::testing::readFileText(kvz::testing::sourcePath(tsvName));
    auto kvzBytes = kvz::buildKvz(tsv);
    if (!kvzBytes) {
        std::fprintf(stderr, "%s: %s\n", tsvName, kvzBytes.reason().c_str());
        std::exit(1);
    }
    auto file = kvz::readKvzBytes(*kvzBytes);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", tsvName, file.reason().c_str());
        std::exit(1);
    }
    return std::move(file.value());
}

const kvz::KvzFile& largeDeck() {
    static const kvz::KvzFile deck = loadDeck("examples/large.tsv");
    return deck;
}
const kvz::KvzFile& sampleDeck() {
    static const kvz::KvzFile deck = loadDeck("examples/sample.tsv");
    return deck;
}

// The code lines and F as they stand before phrase substitution.
struct FreshLines {
    kvz::CodeLines lines;
    std::uint16_t codesBefore;
};
FreshLines freshLines(const kvz::KvzFile& deck) {
    auto table = kvz::countChars(deck.textBlock);
    kvz::sortCharTable(*table);
    kvz::CodeLines lines = kvz::encode16(*table, deck.textBlock);
    return {lines, static_cast<std::uint16_t>(kvz::getCodes16(lines))};
}

template <void (*Substitute)(kvz::CodeLines&, std::uint16_t, const kvz::PhraseProgress&)>
void substitute(benchmark::State& state, const kvz::KvzFile& deck) {
    const FreshLines fresh = freshLines(deck);
    for (auto _ : state) {
        kvz::CodeLines lines = fresh.lines;
        Substitute(lines, fresh.codesBefore, {});
        benchmark::DoNotOptimize(lines.data());
    }
    state.counters["codes"] = static_cast<double>(fresh.lines.size());
}

void BM_PhrasesFast_Large(benchmark::State& state) { substitute<kvz::substitutePhrases>(state, largeDeck()); }
void BM_PhrasesPlain_Large(benchmark::State& state) {
    substitute<kvz::reference::substitutePhrases>(state, largeDeck());
}
void BM_PhrasesFast_Sample(benchmark::State& state) { substitute<kvz::substitutePhrases>(state, sampleDeck()); }
void BM_PhrasesPlain_Sample(benchmark::State& state) {
    substitute<kvz::reference::substitutePhrases>(state, sampleDeck());
}

void BM_WholeConversion_Large(benchmark::State& state) {
    const kvz::KvzFile& deck = largeDeck();
    std::size_t imageSize = 0;
    for (auto _ : state) {
        auto conversion = kvz::convertKvz(deck);
        imageSize = conversion->image.size();
        benchmark::DoNotOptimize(conversion->image.data());
    }
    state.counters["image_bytes"] = static_cast<double>(imageSize);
}

BENCHMARK(BM_PhrasesFast_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhrasesPlain_Large)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PhrasesFast_Sample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhrasesPlain_Sample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeConversion_Large)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
