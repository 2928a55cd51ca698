// What verify-after-write costs on the largest realistic deck
// (examples/large.tsv), to set beside BM_WholeConversion_Large.
//   build/kvzpack_bench --benchmark_filter='Verify|Decode|ReadHex|WholeConversion'
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/image_file.h"
#include "core/convert.h"
#include "deck/deck.h"
#include "decode/decode.h"
#include "hexfile/hex.h"
#include "io/format_files.h"
#include "support/fixtures.h"

namespace {

struct Converted {
    kvz::KvzFile deck;
    kvz::Conversion conversion;
};

const Converted& largeConverted() {
    static const Converted converted = [] {
        const std::string tsv =
            kvz::testing::readFileText(kvz::testing::sourcePath("examples/large.tsv"));
        auto bytes = kvz::buildKvz(tsv);
        auto deck = bytes ? kvz::readKvzBytes(*bytes) : kvz::Result<kvz::KvzFile>(bytes.failure());
        auto conversion = deck ? kvz::convertKvz(*deck) : kvz::Result<kvz::Conversion>(deck.failure());
        if (!conversion) {
            std::fprintf(stderr, "examples/large.tsv: %s\n", conversion.reason().c_str());
            std::exit(1);
        }
        return Converted{std::move(deck.value()), std::move(conversion.value())};
    }();
    return converted;
}

void BM_DecodeImage_Large(benchmark::State& state) {
    const Converted& large = largeConverted();
    for (auto _ : state) {
        auto decoded = kvz::decodeImage(large.conversion.image, kvz::kLoadAddress);
        benchmark::DoNotOptimize(decoded.ok());
    }
    state.counters["image_bytes"] = static_cast<double>(large.conversion.image.size());
}

void BM_VerifyImage_Large(benchmark::State& state) {
    const Converted& large = largeConverted();
    for (auto _ : state) {
        const kvz::Status status = kvz::verifyImage(large.conversion.image, kvz::kLoadAddress,
                                                    large.deck, large.conversion.charTable);
        if (!status) state.SkipWithError(status.reason().c_str());
    }
}

// Reading the written .ihx and .txt back and checking them, as kvzpack does
// before it publishes them.
void BM_VerifyHexFile_Large(benchmark::State& state) {
    const Converted& large = largeConverted();
    kvz::testing::TempDir dir;
    const std::string image = (dir / "large.ihx").string();
    const std::string numbered = (dir / "large.txt").string();
    if (!kvz::writeHexAbs(image, large.conversion.image, kvz::kLoadAddress, false) ||
        !kvz::writeHexAbs(numbered, large.conversion.image, kvz::kLoadAddress, true)) {
        state.SkipWithError("cannot write the HEX files");
        return;
    }
    for (auto _ : state) {
        const auto status = kvz::verifyWrittenImage(image, numbered, large.conversion.image.size(), large.deck,
                                                    large.conversion.charTable);
        if (!status) state.SkipWithError(status.reason().c_str());
    }
}

// The HEX text of the image read into memory, in the lenient reading
// (argument 0) and in the image reading that verification uses (1).
void BM_ReadHexText_Large(benchmark::State& state) {
    const Converted& large = largeConverted();
    auto text = kvz::formatHexAbs(large.conversion.image, kvz::kLoadAddress, false);
    const kvz::HexReadOptions options{state.range(0) == 0 ? kvz::HexReading::lenient : kvz::HexReading::image,
                                      true, 0, 0x10000};
    std::vector<std::uint8_t> memory(0x10000);
    for (auto _ : state) {
        auto read = kvz::readHexText(*text, memory, options);
        if (!read) state.SkipWithError(read.reason().c_str());
        benchmark::DoNotOptimize(memory.data());
    }
    state.counters["text_bytes"] = static_cast<double>(text->size());
}

BENCHMARK(BM_DecodeImage_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHexText_Large)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyImage_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyHexFile_Large)->Unit(benchmark::kMillisecond);

}  // namespace
