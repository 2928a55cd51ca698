// The KVZ reader on arbitrary bytes: it must refuse or parse, never crash,
// and what it parses must be whole: 8 group names and six texts for every
// announced entry, none empty, the TextBlock ended by an empty text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <span>

#include "input/kvz.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "kvz_reader_fuzz: %s\n", what);
    std::abort();
}

std::size_t countTexts(const kvz::TextBlock& block) {
    std::size_t texts = 0;
    std::size_t at = 0;
    while (at < block.size() && block[at] != 0) {
        while (at < block.size() && block[at] != 0) ++at;
        ++at;
        ++texts;
    }
    if (at + 1 != block.size()) finding("the TextBlock does not end right after its empty text");
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    auto counts = kvz::checkKvzRecords(bytes);
    auto file = kvz::readKvzBytes(bytes);
    if (!file) return 0;
    if (!counts) finding("readKvzBytes accepts what checkKvzRecords refuses");
    if (*counts != file->groupCounts) finding("the two readers disagree on the group counts");
    const std::uint64_t entries =
        std::accumulate(file->groupCounts.begin(), file->groupCounts.end(), std::uint64_t{0});
    if (countTexts(file->textBlock) != kvz::kGroupCount + entries * kvz::kFieldsPerEntry)
        finding("the TextBlock does not hold 8 + 6 x entries texts");
    return 0;
}
