// The reader of decks as text (kvzdeck's own layout, tables, flashcard
// exports, in every encoding) on arbitrary bytes: it must refuse or read,
// never crash. The first byte chooses the file name and the fixes, the
// second the header row, the columns and a set of decks, the rest is the
// file. What it reads must hold: a deck only when no problem remains, a deck
// that the KVZ reader takes whole, and its own-layout text read back to the
// same deck; for a set, every deck of it a KVZ deck.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

#include "deck/deck_input.h"
#include "input/kvz.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "deck_input_fuzz: %s\n", what);
    std::abort();
}

kvz::DeckInputOptions optionsFrom(std::uint8_t choice) {
    static constexpr const char* names[] = {"deck.tsv", "deck.csv", "notes.txt", "deck"};
    kvz::DeckInputOptions options;
    options.fileName = names[choice & 3];
    options.fixes.cut = (choice & 4) != 0;
    if (choice & 8) options.fixes.replacement = U'\u3013';
    if (choice & 16) options.groupSize = 1 + (choice >> 5);
    return options;
}

void chooseTableOptions(std::uint8_t choice, kvz::DeckInputOptions& options) {
    if (choice & 1) options.headerRow = (choice & 2) != 0;
    if (choice & 4) options.namedColumns = {{"word", kvz::ColumnRole::short1}, {"Meaning", kvz::ColumnRole::longField},
                                            {"lesson", kvz::ColumnRole::group}};
    options.decks = (choice & 8) != 0;
    if (choice & 16) options.deckName = "out.kvz";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    kvz::DeckInputOptions options = optionsFrom(data[0]);
    chooseTableOptions(data[1], options);
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    auto input = kvz::readDeckInput(text, options);
    if (!input) return 0;
    const kvz::DeckCheck& check = input->check;
    if (check.problemCount < check.problems.size()) finding("fewer problems counted than listed");
    if (options.decks) {
        if (!check.kvz.empty()) finding("a set of decks with a deck of its own");
        for (const auto& part : input->parts) {
            if (part.groups.empty() || part.groups.size() > 8) finding("a deck of the set holds no group or more than 8");
            if (check.problemCount == 0 && !kvz::readKvzBytes(std::span<const std::uint8_t>(part.kvz)))
                finding("a deck of the set is not a KVZ deck");
        }
        return 0;
    }
    if (check.kvz.empty()) {
        if (check.problemCount == 0) finding("no deck and no problem");
        return 0;
    }
    if (check.problemCount != 0) finding("a deck while problems remain");
    if (!kvz::readKvzBytes(std::span<const std::uint8_t>(check.kvz))) finding("the deck is not a KVZ deck");

    kvz::DeckInputOptions again;
    again.fileName = "deck.tsv";
    auto reread = kvz::readDeckInput(input->ownLayout, again);
    if (!reread) finding("the deck's own layout is refused");
    if (reread->check.kvz != check.kvz) finding("the deck's own layout reads back to another deck");
    return 0;
}
