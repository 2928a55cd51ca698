// The fixtures that build decks with the deck module, kept apart so that
// only the test programs that use them link it.
#include <optional>
#include <stdexcept>

#include "deck/cp932.h"
#include "deck/deck.h"
#include "deck/utf8.h"
#include "support/fixtures.h"

namespace kvz::testing {

std::vector<std::uint8_t> deckFromTsv(std::string_view tsv) {
    Result<std::vector<std::uint8_t>> kvz = buildKvz(tsv);
    if (!kvz) throw std::runtime_error("deck TSV refused: line " + kvz.reason());
    return std::move(kvz).value();
}

KvzFile kvzFileOf(const std::vector<std::uint8_t>& bytes) {
    Result<KvzFile> file = readKvzBytes(bytes);
    if (!file) throw std::runtime_error("deck refused: " + file.reason());
    return std::move(file).value();
}

std::string sjis(std::string_view utf8) {
    std::string out;
    for (std::string_view rest = utf8; !rest.empty();) {
        const std::optional<Utf8Character> character = decodeUtf8(rest);
        const std::optional<std::string> bytes = character ? unicodeToCp932(character->codePoint) : std::nullopt;
        if (!bytes) throw std::runtime_error("no Shift_JIS form: " + std::string(utf8));
        out += *bytes;
        rest.remove_prefix(character->length);
    }
    return out;
}

}  // namespace kvz::testing
