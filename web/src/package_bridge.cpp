#include "package_bridge.h"

#include <cstddef>
#include <cstdint>
#include <string>
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

// { name, notes }: a deck or a note type as the package's form lists it.
val namedCount(const std::string& name, std::size_t notes) {
    val item = val::object();
    item.set("name", name);
    item.set("notes", static_cast<double>(notes));
    return item;
}

// `toJs` of each of `items` that holds a note: the form offers no other.
template <class Items, class ToJs>
val listedWithNotes(const Items& items, ToJs toJs) {
    val listed = val::array();
    for (const auto& item : items)
        if (item.notes != 0) listed.call<void>("push", toJs(item));
    return listed;
}

val decksToJs(const AnkiCollection& collection) {
    return listedWithNotes(collection.decks, [](const AnkiDeck& deck) { return namedCount(deck.name, deck.notes); });
}

val noteTypesToJs(const AnkiCollection& collection) {
    return listedWithNotes(collection.noteTypes, [](const AnkiNoteType& type) {
        val item = namedCount(type.name, type.notes);
        val fields = val::array();
        for (const std::string& field : type.fields) fields.call<void>("push", field);
        item.set("fields", fields);
        return item;
    });
}

// The form of a package whose decks are those of `all` and whose notes
// are those of `kept`.
val packageFormToJs(const AnkiCollection& all, const AnkiCollection& kept, const DeckInputOptions& options) {
    val form = val::object();
    form.set("decks", decksToJs(all));
    form.set("noteTypes", noteTypesToJs(kept));
    form.set("deck", options.package->deck);
    form.set("columns", options.package->columns);
    form.set("arguments", argumentsToJs(options));
    return form;
}

}  // namespace

val argumentsToJs(const DeckInputOptions& options) {
    val arguments = val::array();
    for (const BuildOption& option : buildOptions(options)) {
        val pair = val::array();
        pair.call<void>("push", option.name);
        if (!option.value.empty()) pair.call<void>("push", option.value);
        arguments.call<void>("push", pair);
    }
    return arguments;
}

Result<DeckInput> readDeckOrPackage(const std::string& bytes, DeckInputOptions options, const val& pageOptions,
                                    val& form) {
    if (!isPackageName(options.fileName) && !looksLikeZip(bytes)) return readDeckInput(bytes, options);
    const val js = val::global("kvzPackageLibraries");
    if (js.isUndefined() || js.isNull())
        return fail("is an Anki package, and the page could not load its reader of packages");
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Result<AnkiCollection> collection = readAnkiPackage(ByteView(data, bytes.size()), pageLibraries(js));
    KVZ_TRY(collection);
    const std::string deck = textOption(pageOptions, "deck");
    const std::string columns = textOption(pageOptions, "columns");
    options.package = DeckInputOptions::Package{columns, deck};
    // As kvzdeck build reads --columns before the package.
    if (!columns.empty()) {
        Result<ColumnList> roles = parseColumnList(columns, true);
        KVZ_TRY(roles);
        options.columns = std::move(roles->roles);
        options.namedColumns = std::move(roles->named);
    }
    if (deck.empty()) {
        form = packageFormToJs(*collection, *collection, options);
        return readPackageInput(*collection, options);
    }
    Result<AnkiCollection> kept = keepDeck(*collection, deck);
    form = packageFormToJs(*collection, kept ? *kept : *collection, options);
    KVZ_TRY(kept);
    return readPackageInput(*kept, options);
}

}  // namespace kvz::web
