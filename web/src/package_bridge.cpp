#include "package_bridge.h"

#include <cstdint>
#include <utility>
#include <vector>

#include <emscripten/bind.h>

#include "deck/anki_package.h"

namespace kvz::web {
namespace {

using emscripten::val;

val viewOf(ByteView bytes) { return val(emscripten::typed_memory_view(bytes.size(), bytes.data())); }

// A library's answer: bytes, the text "tooLarge", or null for damaged input.
Result<Bytes> bytesFrom(const val& answer) {
    if (answer.isString()) return fail("too large", FailureKind::tooLarge);
    if (answer.isNull() || answer.isUndefined()) return fail("damaged");
    return emscripten::convertJSArrayToNumberVector<std::uint8_t>(answer);
}

PackageLibraries pageLibraries(val js) {
    PackageLibraries libraries;
    libraries.listEntries = [js](ByteView zip) -> Result<std::vector<ZipEntry>> {
        const val answer = js.call<val>("listEntries", viewOf(zip));
        if (answer.isNull() || answer.isUndefined()) return fail("damaged");
        std::vector<ZipEntry> entries;
        const auto count = answer["length"].as<unsigned>();
        for (unsigned i = 0; i < count; ++i) {
            const val entry = answer[i];
            entries.push_back({entry["name"].as<std::string>(), static_cast<std::uint64_t>(entry["size"].as<double>())});
        }
        return entries;
    };
    libraries.readEntry = [js](ByteView zip, const std::string& name, std::size_t limit) {
        return bytesFrom(js.call<val>("readEntry", viewOf(zip), name, static_cast<double>(limit)));
    };
    libraries.decompressZstd = [js](ByteView frame, std::size_t limit) {
        return bytesFrom(js.call<val>("decompressZstd", viewOf(frame), static_cast<double>(limit)));
    };
    libraries.query = [js](ByteView database, const std::string& sql) -> Result<SqlRows> {
        const val answer = js.call<val>("query", viewOf(database), sql);
        if (answer.isNull() || answer.isUndefined()) return fail("the query failed");
        SqlRows rows;
        const auto count = answer["length"].as<unsigned>();
        rows.reserve(count);
        for (unsigned r = 0; r < count; ++r) {
            const val row = answer[r];
            std::vector<std::string>& cells = rows.emplace_back();
            const auto columns = row["length"].as<unsigned>();
            for (unsigned c = 0; c < columns; ++c) cells.push_back(row[c].as<std::string>());
        }
        return rows;
    };
    return libraries;
}

std::string textOption(const val& options, const char* name) {
    const val value = options[name];
    return value.isString() ? value.as<std::string>() : std::string();
}

}  // namespace

Result<DeckInput> readDeckOrPackage(const std::string& bytes, DeckInputOptions options, const val& pageOptions) {
    if (!isPackageName(options.fileName) && !looksLikeZip(bytes)) return readDeckInput(bytes, options);
    const val js = val::global("kvzPackageLibraries");
    if (js.isUndefined() || js.isNull())
        return fail("is an Anki package, and the page could not load its reader of packages");
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Result<AnkiCollection> collection = readAnkiPackage(ByteView(data, bytes.size()), pageLibraries(js));
    KVZ_TRY(collection);
    const std::string deck = textOption(pageOptions, "deck");
    if (!deck.empty()) {
        collection = keepDeck(std::move(*collection), deck);
        KVZ_TRY(collection);
    }
    options.package = DeckInputOptions::Package{textOption(pageOptions, "columns"), deck};
    return readPackageInput(*collection, options);
}

}  // namespace kvz::web
