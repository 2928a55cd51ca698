// The Anki package reader on arbitrary bytes, over the system's libzip,
// libzstd and SQLite: it must refuse or read, never crash. The first byte
// chooses what the rest is, so that each path is reached directly:
//   0: a whole package (a zip archive);
//   1: the SQLite database of a package's collection.anki2;
//   2: the zstd frame of a package's collection.anki21b.
// A collection read must become a deck or a refusal: a deck only when no
// problem remains, and one that the KVZ reader takes whole.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "deck/anki_package.h"
#include "input/kvz.h"
#include "package/package_libraries.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "anki_package_fuzz: %s\n", what);
    std::abort();
}

// What the reader looks for first: a zip archive's first bytes.
constexpr std::array<std::uint8_t, 4> kMagic{'P', 'K', 3, 4};

// A package whose one entry, `entry`, holds the bytes after kMagic.
kvz::PackageLibraries oneEntry(kvz::PackageLibraries libraries, const std::string& entry) {
    libraries.listEntries = [entry](kvz::ByteView bytes) -> kvz::Result<std::vector<kvz::ZipEntry>> {
        return std::vector<kvz::ZipEntry>{{entry, bytes.size()}};
    };
    libraries.readEntry = [](kvz::ByteView bytes, const std::string&, std::size_t limit) -> kvz::Result<kvz::Bytes> {
        bytes = bytes.subspan(kMagic.size());
        if (bytes.size() > limit) return kvz::fail("too large", kvz::FailureKind::tooLarge);
        return kvz::Bytes(bytes.begin(), bytes.end());
    };
    return libraries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::optional<kvz::PackageLibraries> system = kvz::systemPackageLibraries();
    if (!system) finding("this build reads no Anki packages");
    if (size < 1) return 0;
    const std::uint8_t mode = data[0] % 3;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    kvz::PackageLibraries libraries = *system;
    if (mode != 0) {
        libraries = oneEntry(libraries, mode == 1 ? "collection.anki2" : "collection.anki21b");
        bytes.insert(bytes.begin(), kMagic.begin(), kMagic.end());
    }
    // Bounded well below the real limit: the fuzzer's memory is small.
    constexpr std::size_t kLimit = std::size_t{16} << 20;
    auto collection = kvz::readAnkiPackage(bytes, libraries, kLimit);
    if (!collection) return 0;
    for (const kvz::AnkiNote& note : collection->notes)
        if (note.noteType >= collection->noteTypes.size()) finding("a note of no note type");
    kvz::DeckInputOptions options;
    options.fileName = "deck.apkg";
    auto input = kvz::readPackageInput(*collection, options);
    if (!input) return 0;
    const kvz::DeckCheck& check = input->check;
    if (check.kvz.empty() != (check.problemCount != 0)) finding("a deck and problems, or neither");
    if (!check.kvz.empty() && !kvz::readKvzBytes(std::span<const std::uint8_t>(check.kvz)))
        finding("the deck is not a KVZ deck");
    return 0;
}
