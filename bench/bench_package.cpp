// kvzdeck build on an Anki package of 20,000 notes in 8 subdecks, schema
// 18 compressed with zstd as a current Anki exports it: the package read
// (zip, zstd, integrity check, queries) and its notes made a deck, all but
// the writing of the file.
//   build/kvzpack_bench --benchmark_filter=Package
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>

#include <sqlite3.h>
#include <zip.h>
#include <zstd.h>

#include "deck/anki_package.h"
#include "package/package_libraries.h"

namespace {

constexpr int kNotes = 20000;

void run(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// The collection's database: notes with HTML and furigana, each with one card.
kvz::Bytes collectionDatabase() {
    sqlite3* opened = nullptr;
    sqlite3_open(":memory:", &opened);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(opened, sqlite3_close);
    run(db.get(),
        "CREATE TABLE col (id integer primary key, ver integer);"
        "CREATE TABLE notetypes (id integer primary key, name text);"
        "CREATE TABLE fields (ntid integer, ord integer, name text, PRIMARY KEY (ntid, ord)) without rowid;"
        "CREATE TABLE decks (id integer primary key, name text);"
        "CREATE TABLE notes (id integer primary key, guid text, mid integer, tags text, flds text);"
        "CREATE TABLE cards (id integer primary key, nid integer, did integer, ord integer);"
        "CREATE INDEX ix_cards_nid ON cards (nid);"
        "INSERT INTO col VALUES (1, 18); INSERT INTO notetypes VALUES (1, 'Japanese');"
        "INSERT INTO fields VALUES (1, 0, 'Expression'), (1, 1, 'Meaning'), (1, 2, 'Reading');");
    run(db.get(), "BEGIN");
    for (int d = 1; d <= 8; ++d)
        run(db.get(), "INSERT INTO decks VALUES (" + std::to_string(d) + ", 'Core\x1fLesson " + std::to_string(d) + "')");
    for (int n = 0; n < kNotes; ++n) {
        const std::string id = std::to_string(1000000 + n);
        run(db.get(), "INSERT INTO notes VALUES (" + id + ", 'g" + id + "', 1, '', '<div>単語" + std::to_string(n) +
                          "[たんご]</div>\x1f" "a word&nbsp;<b>number</b> " + std::to_string(n) +
                          "<br>[sound:w.mp3]\x1f" "たんご')");
        run(db.get(), "INSERT INTO cards VALUES (" + id + ", " + id + ", " + std::to_string(1 + n % 8) + ", 0)");
    }
    run(db.get(), "COMMIT");
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(db.get(), "main", &size, 0);
    kvz::Bytes database(bytes, bytes + size);
    sqlite3_free(bytes);
    return database;
}

kvz::Bytes zstdFrame(const kvz::Bytes& bytes) {
    kvz::Bytes frame(ZSTD_compressBound(bytes.size()));
    frame.resize(ZSTD_compress(frame.data(), frame.size(), bytes.data(), bytes.size(), 3));
    return frame;
}

// A zip archive of the one entry collection.anki21b, made in memory.
kvz::Bytes package(const kvz::Bytes& collection) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(target);
    zip_t* archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    zip_source_t* entry = zip_source_buffer(archive, collection.data(), collection.size(), 0);
    zip_file_add(archive, "collection.anki21b", entry, ZIP_FL_ENC_UTF_8);
    zip_close(archive);
    zip_source_open(target);
    zip_source_seek(target, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(target);
    zip_source_seek(target, 0, SEEK_SET);
    kvz::Bytes bytes(static_cast<std::size_t>(size));
    zip_source_read(target, bytes.data(), static_cast<zip_uint64_t>(size));
    zip_source_close(target);
    zip_source_free(target);
    zip_error_fini(&error);
    return bytes;
}

void BM_BuildPackage_20000Notes(benchmark::State& state) {
    const kvz::Bytes frame = zstdFrame(collectionDatabase());
    const kvz::Bytes bytes = package(frame);
    const kvz::PackageLibraries libraries = *kvz::systemPackageLibraries();
    kvz::DeckInputOptions options;
    options.fileName = "core.apkg";
    for (auto _ : state) {
        auto collection = kvz::readAnkiPackage(bytes, libraries);
        if (!collection) throw std::runtime_error(collection.reason());
        auto deck = kvz::readPackageInput(*collection, options);
        if (!deck || deck->check.kvz.empty()) throw std::runtime_error("no deck");
        benchmark::DoNotOptimize(deck->check.kvz.data());
    }
    state.counters["package bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_BuildPackage_20000Notes)->Unit(benchmark::kMillisecond);

}  // namespace
