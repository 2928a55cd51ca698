// kvzdeck on the largest realistic deck (examples/large.tsv) and on a
// spreadsheet's table of 10,000 cards, and its CP932 table beside the
// system's iconv, which it replaces, on the deck's own characters.
//   build/kvzpack_bench --benchmark_filter='Deck|Table|Cp932'
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "deck/cp932.h"
#include "deck/deck.h"
#include "deck/deck_input.h"
#include "deck/utf8.h"
#include "support/fixtures.h"
#include "system_cp932.h"

namespace {

const std::string& largeTsv() {
    static const std::string tsv = kvz::testing::readFileText(kvz::testing::sourcePath("examples/large.tsv"));
    return tsv;
}

// Every character of the deck's texts, in order.
std::vector<char32_t> largeCharacters() {
    std::vector<char32_t> characters;
    for (std::string_view rest = largeTsv(); !rest.empty();) {
        const auto character = kvz::decodeUtf8(rest);
        const std::size_t length = character ? character->length : 1;
        if (character && character->codePoint >= 0x80) characters.push_back(character->codePoint);
        rest.remove_prefix(length);
    }
    return characters;
}

// The CP932 code of each of them.
std::vector<std::string> largeCodes() {
    std::vector<std::string> codes;
    for (char32_t character : largeCharacters()) {
        if (auto code = kvz::unicodeToCp932(character)) codes.push_back(std::move(*code));
    }
    return codes;
}

void BM_BuildDeck_Large(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(kvz::buildKvz(largeTsv()));
}

// A spreadsheet's table of 10,000 cards: group, word, reading, meaning,
// some meanings quoted with a comma inside, as a CSV in UTF-8.
std::string tenThousandRowTable() {
    std::string csv = "group,short1,short2,long\r\n";
    const char* kanji[] = {"犬", "猫", "鳥", "魚", "花", "山", "川", "空"};
    for (int row = 0; row < 10000; ++row) {
        csv += "課" + std::to_string(row % 8 + 1) + ",";
        csv += std::string(kanji[row % 8]) + kanji[(row / 8) % 8] + std::to_string(row) + ",";
        csv += "いぬねこ" + std::to_string(row) + ",";
        csv += row % 3 == 0 ? "\"a word, number " + std::to_string(row) + "\"" : "meaning of word " + std::to_string(row);
        csv += "\r\n";
    }
    return csv;
}

void BM_BuildTable_10000Rows(benchmark::State& state) {
    const std::string csv = tenThousandRowTable();
    kvz::DeckInputOptions options;
    options.fileName = "words.csv";
    for (auto _ : state) {
        auto input = kvz::readDeckInput(csv, options);
        if (!input || input->check.kvz.empty()) state.SkipWithError("the table did not build");
        benchmark::DoNotOptimize(input);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_DumpDeck_Large(benchmark::State& state) {
    const std::vector<std::uint8_t> kvz = kvz::testing::deckFromTsv(largeTsv());
    for (auto _ : state) benchmark::DoNotOptimize(kvz::dumpKvz(kvz));
}

void BM_Cp932EncodeTable_Large(benchmark::State& state) {
    const std::vector<char32_t> characters = largeCharacters();
    for (auto _ : state) {
        for (char32_t character : characters) benchmark::DoNotOptimize(kvz::unicodeToCp932(character));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(characters.size()));
}

void BM_Cp932EncodeIconv_Large(benchmark::State& state) {
    const std::vector<char32_t> characters = largeCharacters();
    cp932gen::SystemCp932 iconv;
    for (auto _ : state) {
        for (char32_t character : characters) benchmark::DoNotOptimize(iconv.encode(character));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(characters.size()));
}

void BM_Cp932DecodeTable_Large(benchmark::State& state) {
    const std::vector<std::string> codes = largeCodes();
    for (auto _ : state) {
        for (const std::string& code : codes) benchmark::DoNotOptimize(kvz::cp932ToUnicode(code));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(codes.size()));
}

void BM_Cp932DecodeIconv_Large(benchmark::State& state) {
    const std::vector<std::string> codes = largeCodes();
    cp932gen::SystemCp932 iconv;
    for (auto _ : state) {
        for (const std::string& code : codes) benchmark::DoNotOptimize(iconv.decode(code));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(codes.size()));
}

}  // namespace

BENCHMARK(BM_BuildDeck_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTable_10000Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpDeck_Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cp932EncodeTable_Large)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Cp932EncodeIconv_Large)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Cp932DecodeTable_Large)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Cp932DecodeIconv_Large)->Unit(benchmark::kMicrosecond);
