// kvzdeck's readers on the inputs that once took them quadratic time: markup
// opened and never closed, repeated through one export field; many distinct
// group values; one note of very many fields before ordinary rows; one
// warning said of every row; ruby never closed, named references, marks
// after their base in a table whose separator is found, and a set of decks
// of many groups. Each input is read at sizes doubling from
// 64 KiB to 1 MiB, and the complexity fit says how the time grows: about
// twice the time for twice the input, O(N), with a small RMS.
//   build/kvzpack_bench --benchmark_filter=Readers
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "deck/deck_input.h"

namespace {

// An export whose one note's front field is `piece` repeated to about
// `bytes` bytes.
std::string exportField(const std::string& piece, std::size_t bytes) {
    std::string text = "#separator:tab\n#html:true\nx";
    while (text.size() < bytes) text += piece;
    return text + "\tback\n";
}

std::string distinctGroups(std::size_t bytes) {
    std::string text = "group,short1\n";
    for (std::size_t row = 0; text.size() < bytes; ++row) {
        text += 'g';
        text += std::to_string(row);
        text += ",x\n";
    }
    return text;
}

// The rows of the inputs below are long enough that even the largest holds
// fewer than the 65535 entries a group takes, so that every row is read in
// full and the work per byte stays the same at every size.

// One note of fields taking half the bytes, then ordinary notes for the rest.
std::string wideNoteThenRows(std::size_t bytes) {
    std::string text = "#separator:tab\n#deck column:1\nd";
    while (text.size() < bytes / 2) text += "\tf";
    text += '\n';
    while (text.size() < bytes) text += "d\tfront words\tback words\n";
    return text;
}

std::string spacedGroupOnEveryRow(std::size_t bytes) {
    std::string text = "group,short1\n";
    while (text.size() < bytes) text += "a b,the words of a card\n";
    return text;
}

std::string decomposedKana(std::size_t bytes) {
    std::string text = "short1;long\n";
    while (text.size() < bytes) text += "か\u3099っこう;a school\n";
    return text;
}

void readAndCount(benchmark::State& state, const std::string& text, const char* fileName, bool decks = false) {
    kvz::DeckInputOptions options;
    options.fileName = fileName;
    options.fixes.cut = true;
    options.decks = decks;
    for (auto _ : state) benchmark::DoNotOptimize(kvz::readDeckInput(text, options));
    state.SetComplexityN(static_cast<benchmark::IterationCount>(text.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

std::size_t sizeOf(const benchmark::State& state) { return static_cast<std::size_t>(state.range(0)); }

void BM_Readers_UnclosedBrackets(benchmark::State& state) {
    readAndCount(state, exportField("[", sizeOf(state)), "notes.txt");
}
void BM_Readers_UnclosedTags(benchmark::State& state) {
    readAndCount(state, exportField("<", sizeOf(state)), "notes.txt");
}
void BM_Readers_UnclosedSounds(benchmark::State& state) {
    readAndCount(state, exportField("[sound:", sizeOf(state)), "notes.txt");
}
void BM_Readers_UnclosedClozes(benchmark::State& state) {
    readAndCount(state, exportField("{{c1::", sizeOf(state)), "notes.txt");
}
void BM_Readers_UnclosedEntities(benchmark::State& state) {
    readAndCount(state, exportField("&#1", sizeOf(state)), "notes.txt");
}
void BM_Readers_UnclosedRuby(benchmark::State& state) {
    readAndCount(state, exportField("<ruby>漢<rt>", sizeOf(state)), "notes.txt");
}
void BM_Readers_NamedEntities(benchmark::State& state) {
    readAndCount(state, exportField("&hellip;&NotNestedGreaterGreater", sizeOf(state)), "notes.txt");
}
void BM_Readers_DecomposedKanaWithTheSeparatorFound(benchmark::State& state) {
    readAndCount(state, decomposedKana(sizeOf(state)), "words.txt");
}
void BM_Readers_DistinctGroupsAsASetOfDecks(benchmark::State& state) {
    readAndCount(state, distinctGroups(sizeOf(state)), "words.csv", true);
}
void BM_Readers_DistinctGroups(benchmark::State& state) {
    readAndCount(state, distinctGroups(sizeOf(state)), "words.csv");
}
void BM_Readers_WideNoteThenRows(benchmark::State& state) {
    readAndCount(state, wideNoteThenRows(sizeOf(state)), "notes.txt");
}
void BM_Readers_RepeatedWarning(benchmark::State& state) {
    readAndCount(state, spacedGroupOnEveryRow(sizeOf(state)), "words.csv");
}

#define READER_GROWTH(name) \
    BENCHMARK(name)->RangeMultiplier(2)->Range(64 << 10, 1 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN)

READER_GROWTH(BM_Readers_UnclosedBrackets);
READER_GROWTH(BM_Readers_UnclosedTags);
READER_GROWTH(BM_Readers_UnclosedSounds);
READER_GROWTH(BM_Readers_UnclosedClozes);
READER_GROWTH(BM_Readers_UnclosedEntities);
READER_GROWTH(BM_Readers_DistinctGroups);
READER_GROWTH(BM_Readers_UnclosedRuby);
READER_GROWTH(BM_Readers_NamedEntities);
READER_GROWTH(BM_Readers_DecomposedKanaWithTheSeparatorFound);
READER_GROWTH(BM_Readers_DistinctGroupsAsASetOfDecks);
READER_GROWTH(BM_Readers_WideNoteThenRows);
READER_GROWTH(BM_Readers_RepeatedWarning);

}  // namespace
