// The default encoding against --best, deck by deck: the time of each whole
// conversion, and as counters the packed stream and image bytes of each, the
// deck's entries and how many of them fit the device with each.
//   build/kvzpack_bench --benchmark_filter=Encoder
// Decks: the bundled examples; real entries repeated and shuffled (four and
// eight copies of examples/large.kvz's entries in one random order, seed 1:
// 89% of the device with --best, and a refusal); and every *.kvz in
// $KVZPACK_BENCH_DECKS (tools/bench-best.sh makes a family of growing decks
// there with the large-deck generator and runs this benchmark on them). The
// benchmark reports wall and CPU time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/convert.h"
#include "core/split.h"
#include "support/fixtures.h"

namespace {

namespace fs = std::filesystem;

struct Deck {
    std::string name;
    kvz::KvzFile file;
};

Deck readDeck(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    auto file = kvz::readKvzBytes(bytes);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), file.reason().c_str());
        std::exit(1);
    }
    return {name, std::move(file.value())};
}

std::vector<Deck> benchDecks() {
    std::vector<Deck> decks;
    for (const char* name : {"example.kvz", "sample.kvz", "large.kvz"})
        decks.push_back(readDeck(kvz::testing::bundledDeckName(name), kvz::testing::bundledDeckBytes(name)));
    const std::vector<std::uint8_t> large = kvz::testing::bundledDeckBytes("large.kvz");
    for (int copies : {4, 8})
        decks.push_back(readDeck("large-x" + std::to_string(copies) + "-shuffled",
                                 kvz::testing::repeatedEntries(large, copies, 1)));
    if (const char* folder = std::getenv("KVZPACK_BENCH_DECKS")) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".kvz") found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        for (const fs::path& path : found)
            decks.push_back(readDeck(path.stem().string(), kvz::testing::readFileBytes(path)));
    }
    return decks;
}

void convertDeck(benchmark::State& state, const kvz::KvzFile& deck, kvz::Encoder encoder) {
    for (auto _ : state) {
        auto conversion = kvz::convertKvz(deck, {}, encoder);
        benchmark::DoNotOptimize(conversion);
    }
    auto sizes = kvz::measureImage(deck, encoder);
    if (!sizes) {
        state.SkipWithError(sizes.reason().c_str());
        return;
    }
    state.counters["stream"] = static_cast<double>(sizes->streamBytes);
    state.counters["image"] = static_cast<double>(sizes->imageBytes);
    state.counters["entries"] = static_cast<double>(kvz::countEntries(deck));
    state.counters["fit"] = static_cast<double>(kvz::entriesThatFit(deck, encoder));
}

const std::vector<Deck>& decks() {
    static const std::vector<Deck> all = benchDecks();
    return all;
}

[[maybe_unused]] const bool registered = [] {
    for (const Deck& deck : decks()) {
        for (const auto& [label, encoder] : {std::pair{"default", kvz::Encoder::standard},
                                             std::pair{"best", kvz::Encoder::best}}) {
            benchmark::RegisterBenchmark(("Encoder/" + deck.name + "/" + label).c_str(),
                                         [&deck, encoder = encoder](benchmark::State& state) {
                                             convertDeck(state, deck.file, encoder);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.5);
        }
    }
    return true;
}();

}  // namespace
