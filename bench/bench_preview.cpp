// What --preview costs on the largest realistic deck (examples/large.tsv):
// drawing the sheet and writing it as PNG, each way the build can.
//   build/kvzpack_bench --benchmark_filter=Preview
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/convert.h"
#include "core/png_runs.h"
#include "core/preview.h"
#include "deck/deck.h"
#include "decode/decode.h"
#include "support/fixtures.h"

namespace {

const kvz::DecodedImage& largeDecoded() {
    static const kvz::DecodedImage decoded = [] {
        const std::string tsv = kvz::testing::readFileText(kvz::testing::sourcePath("examples/large.tsv"));
        auto bytes = kvz::buildKvz(tsv);
        auto deck = bytes ? kvz::readKvzBytes(*bytes) : kvz::Result<kvz::KvzFile>(bytes.failure());
        auto conversion = deck ? kvz::convertKvz(*deck) : kvz::Result<kvz::Conversion>(deck.failure());
        auto image = conversion ? kvz::decodeImage(conversion->image, kvz::kLoadAddress)
                                : kvz::Result<kvz::DecodedImage>(conversion.failure());
        if (!image) {
            std::fprintf(stderr, "examples/large.tsv: %s\n", image.reason().c_str());
            std::exit(1);
        }
        return std::move(image.value());
    }();
    return decoded;
}

const kvz::PreviewSheet& largeSheet() {
    static const kvz::PreviewSheet sheet = std::move(kvz::drawPreviewSheet(largeDecoded()).value());
    return sheet;
}

void BM_PreviewDraw_Large(benchmark::State& state) {
    const kvz::DecodedImage& decoded = largeDecoded();
    for (auto _ : state) {
        auto sheet = kvz::drawPreviewSheet(decoded);
        benchmark::DoNotOptimize(sheet.ok());
    }
}

// The PNG as the preview writes it.
void BM_PreviewPng_Large(benchmark::State& state) {
    const kvz::PreviewSheet& sheet = largeSheet();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto png = kvz::encodePng(sheet.bitmap, kvz::kPreviewScale);
        bytes = png ? png->size() : 0;
    }
    state.counters["png_bytes"] = static_cast<double>(bytes);
}

// The run-length writer alone.
void BM_PreviewPngRuns_Large(benchmark::State& state) {
    const kvz::PreviewSheet& sheet = largeSheet();
    std::size_t bytes = 0;
    for (auto _ : state) bytes = kvz::encodeRunLengthPng(sheet.bitmap, kvz::kPreviewScale).size();
    state.counters["png_bytes"] = static_cast<double>(bytes);
}

}  // namespace

BENCHMARK(BM_PreviewDraw_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewPng_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewPngRuns_Large)->Unit(benchmark::kMillisecond);
