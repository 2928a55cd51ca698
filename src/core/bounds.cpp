#include "core/bounds.h"

namespace kvz {
namespace {

std::string largerThanAny(const std::string& what, std::uint64_t bound) {
    return "is larger than any " + what + " (at most " + std::to_string(bound) + " bytes)";
}

}  // namespace

std::string imageTextTooLarge() { return largerThanAny("image's HEX text", kLongestImageText); }
std::string deckTextTooLarge() { return largerThanAny("deck's text", kLongestDeckText); }
std::string packageTooLarge() { return largerThanAny("Anki package", kLongestPackage); }
std::string kvzFileTooLarge() { return largerThanAny("KVZ deck", kLargestKvzFile); }

}  // namespace kvz
