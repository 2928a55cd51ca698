// The reader of decks as text (kvzdeck's own layout, tables, flashcard
// exports, in every encoding) on arbitrary bytes: it must refuse or read,
// never crash. The first bytes choose kvzdeck build's options, the rest is
// the file:
//   byte 0: the file name (bits 0-1), --cut (bit 2), --replace (bit 3), and
//           --group-size (bit 4: 1 + bits 5-7);
//   byte 1: --encoding (bits 0-2: none, utf-8, utf-16le, utf-16be, cp932),
//           --furigana (bits 3-4: none, base, reading, both), --separator
//           (bits 5-7: none, tab, comma, semicolon, space, pipe, colon, ';');
//   byte 2: --header or --no-header (bits 0-1), header cells named as
//           columns (bit 2), --decks (bit 3), the deck's name (bit 4);
//   byte 3: the number of --columns (0: none), each role a byte behind it
//           (long, short1 to short5, group, -), the list refused as kvzdeck
//           refuses it (a role given twice) then read without it.
// What it reads must hold: a deck only when no problem remains, a deck that
// the KVZ reader takes whole, and its own-layout text read back to the same
// deck; for a set, every deck of it a KVZ deck.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "deck/deck_input.h"
#include "deck/table.h"
#include "input/kvz.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "deck_input_fuzz: %s\n", what);
    std::abort();
}

constexpr std::size_t kOptionBytes = 4;

// The option values as the command line gives them, through its parsers.
void chooseValues(kvz::DeckInputOptions& options, std::uint8_t choice) {
    static constexpr const char* encodings[] = {"utf-8", "utf-16le", "utf-16be", "cp932"};
    static constexpr const char* furigana[] = {"base", "reading", "both"};
    static constexpr const char* separators[] = {"tab", "comma", "semicolon", "space", "pipe", "colon", ";"};
    if (const unsigned e = choice & 7; e >= 1 && e <= 4) {
        auto encoding = kvz::parseEncodingOption(encodings[e - 1]);
        if (!encoding) finding("an --encoding value the help names is refused");
        options.encoding = *encoding;
    }
    if (const unsigned f = choice >> 3 & 3; f >= 1) {
        auto mode = kvz::parseFuriganaOption(furigana[f - 1]);
        if (!mode) finding("a --furigana value the help names is refused");
        options.furigana = *mode;
    }
    if (const unsigned s = choice >> 5; s >= 1) {
        options.separator = kvz::parseSeparatorName(separators[s - 1]);
        if (options.separator == 0) finding("a --separator name the help names is refused");
    }
}

// The --columns list of `count` roles, each from a byte of `roles`; how
// many bytes it took.
std::size_t chooseColumns(kvz::DeckInputOptions& options, std::size_t count, std::span<const std::uint8_t> roles) {
    static constexpr const char* names[] = {"long", "short1", "short2", "short3", "short4", "short5", "group", "-"};
    count = std::min(count, roles.size());
    std::string list;
    for (std::size_t i = 0; i < count; ++i) list += std::string(i ? "," : "") + names[roles[i] & 7];
    if (auto columns = kvz::parseColumns(list); columns) options.columns = std::move(*columns);
    return count;
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
    if (size < kOptionBytes) return 0;
    kvz::DeckInputOptions options = optionsFrom(data[0]);
    chooseValues(options, data[1]);
    chooseTableOptions(data[2], options);
    const std::size_t roles = chooseColumns(options, data[3], std::span(data + kOptionBytes, size - kOptionBytes));
    const std::size_t start = kOptionBytes + roles;
    const std::string_view text(reinterpret_cast<const char*>(data + start), size - start);
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
