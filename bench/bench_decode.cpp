// What verify-after-write costs on the largest realistic deck
// (examples/large.tsv), to set beside BM_WholeConversion_Large.
//   build/kvzpack_bench --benchmark_filter='Verify|Decode|ReadHex|WholeConversion'
// And what reading an image of phrases that double costs: refused at its
// first text too long, or, with every text at its field's width, decoded and
// every text expanded.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/image_file.h"
#include "core/convert.h"
#include "deck/deck.h"
#include "decode/decode.h"
#include "decode/image_builder.h"
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

// An image of 2720 entries whose 16 phrases each double the one before
// (phrase k, code 2 + k, is 2^(k+1) characters): with `runaway` every text
// is phrase 15 (65536 characters), else each text holds its field's width
// in phrases (16, 116, 28 characters): 60 KB, or 29 KB runaway.
std::vector<std::uint8_t> doublingImage(bool runaway) {
    constexpr unsigned kPhrases = 16, kPerGroup = 340;
    kvz::testing::StreamBuilder stream;
    stream.limit = 100;
    stream.header(2, kPhrases);
    stream.line({0, 1});
    for (unsigned k = 1; k < kPhrases; ++k) stream.line({2 + k - 1, 2 + k - 1});
    const auto text = [&](std::size_t characters) {
        std::vector<unsigned> codes;
        for (unsigned k = kPhrases; k-- > 0;)
            for (; characters >= (std::size_t{2} << k); characters -= std::size_t{2} << k) codes.push_back(2 + k);
        if (characters > 0) codes.push_back(1);
        stream.value(static_cast<unsigned>(codes.size()));
        for (const unsigned code : codes) stream.value(code);
    };
    const std::size_t name = runaway ? 65536 : 16, longField = runaway ? 65536 : 116, shortField = runaway ? 65536 : 28;
    for (unsigned g = 0; g < 8; ++g) {
        text(name);
        stream.value(g * kPerGroup).value(kPerGroup);
    }
    for (unsigned e = 0; e < 8 * kPerGroup; ++e) {
        text(longField);
        for (int f = 1; f < 6; ++f) text(shortField);
    }
    return kvz::testing::buildImage(stream.bytes, std::vector<kvz::GlyphCell>(2, kvz::GlyphCell{1, 2, 3, 4, 5, 6, 7}));
}

void BM_DecodeImage_DoublingPhrases(benchmark::State& state) {
    const bool runaway = state.range(0) == 1;
    const std::vector<std::uint8_t> image = doublingImage(runaway);
    std::size_t characters = 0;
    for (auto _ : state) {
        auto decoded = kvz::decodeImage(image, kvz::kLoadAddress);
        if (decoded.ok() == runaway) state.SkipWithError("the image is not read as expected");
        characters = 0;
        if (decoded)
            for (const auto& entry : decoded->entries)
                for (const kvz::StoredText& stored : entry) characters += kvz::expandText(*decoded, stored)->size();
        benchmark::DoNotOptimize(characters);
    }
    state.counters["image_bytes"] = static_cast<double>(image.size());
    state.counters["characters"] = static_cast<double>(characters);
}

BENCHMARK(BM_DecodeImage_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeImage_DoublingPhrases)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHexText_Large)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyImage_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyHexFile_Large)->Unit(benchmark::kMillisecond);

}  // namespace
