#include "package/package_libraries.h"

#include <memory>

#include <sqlite3.h>
#include <zip.h>
#include <zstd.h>

namespace kvz {
namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct StreamFreer {
    void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
};
struct DatabaseCloser {
    void operator()(sqlite3* database) const { sqlite3_close(database); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

// The archive over `zip` itself: libzip reads the caller's bytes, copies none.
Result<Archive> openArchive(ByteView zip) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(zip.data(), zip.size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return fail("the zip archive cannot be opened");
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return fail("the zip archive cannot be opened");
    }
    return Archive(archive);
}

Result<std::vector<ZipEntry>> listEntries(ByteView zip) {
    Result<Archive> archive = openArchive(zip);
    KVZ_TRY(archive);
    const zip_int64_t count = zip_get_num_entries(archive->get(), 0);
    if (count < 0) return fail("the zip archive cannot be listed");
    std::vector<ZipEntry> entries;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive->get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat) != 0 || !stat.name)
            return fail("an entry of the zip archive cannot be read");
        entries.push_back({stat.name, (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0});
    }
    return entries;
}

Result<Bytes> readEntry(ByteView zip, const std::string& name, std::size_t limit) {
    Result<Archive> archive = openArchive(zip);
    KVZ_TRY(archive);
    const zip_int64_t index = zip_name_locate(archive->get(), name.c_str(), ZIP_FL_ENC_RAW);
    if (index < 0) return fail("no such entry");
    const std::unique_ptr<zip_file_t, EntryCloser> file(zip_fopen_index(archive->get(), static_cast<zip_uint64_t>(index), 0));
    if (!file) return fail("the entry cannot be opened");
    Bytes bytes;
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    while (true) {
        const std::size_t size = bytes.size();
        bytes.resize(size + kChunk);
        const zip_int64_t read = zip_fread(file.get(), bytes.data() + size, kChunk);
        if (read < 0) return fail("the entry is damaged");
        bytes.resize(size + static_cast<std::size_t>(read));
        // Past the limit: the entry is not read to its end.
        if (bytes.size() > limit) return fail("the entry is too large", FailureKind::tooLarge);
        if (read == 0) return bytes;
    }
}

Result<Bytes> decompressZstd(ByteView compressed, std::size_t limit) {
    const std::unique_ptr<ZSTD_DStream, StreamFreer> stream(ZSTD_createDStream());
    if (!stream) return fail("no memory for zstd");
    // A frame that declares more than the limit is refused before any of it is made.
    const unsigned long long declared = ZSTD_getFrameContentSize(compressed.data(), compressed.size());
    if (declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != ZSTD_CONTENTSIZE_ERROR && declared > limit)
        return fail("the zstd frame expands too far", FailureKind::tooLarge);
    ZSTD_inBuffer input{compressed.data(), compressed.size(), 0};
    Bytes out;
    const std::size_t chunk = ZSTD_DStreamOutSize();
    std::size_t left = 1;  // what ZSTD_decompressStream last said of the frame: 0 when it ended
    while (input.pos < input.size || left != 0) {
        const std::size_t size = out.size();
        out.resize(size + chunk);
        ZSTD_outBuffer output{out.data() + size, chunk, 0};
        const std::size_t before = input.pos;
        left = ZSTD_decompressStream(stream.get(), &output, &input);
        if (ZSTD_isError(left)) return fail("the zstd frame is damaged");
        out.resize(size + output.pos);
        if (out.size() > limit) return fail("the zstd frame expands too far", FailureKind::tooLarge);
        // Input used up in the middle of a frame: it was cut short.
        if (input.pos == before && output.pos == 0 && input.pos == input.size) return fail("the zstd frame is cut short");
    }
    return out;
}

Result<SqlRows> query(ByteView database, const std::string& sql) {
    sqlite3* opened = nullptr;
    if (sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(opened);
        return fail("SQLite cannot open a database");
    }
    const std::unique_ptr<sqlite3, DatabaseCloser> db(opened);
    // No view or trigger of the file may call a function with effects.
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    // Read-only and not freed by SQLite: it never writes to the bytes.
    auto* data = const_cast<unsigned char*>(database.data());
    const auto size = static_cast<sqlite3_int64>(database.size());
    if (sqlite3_deserialize(db.get(), "main", data, size, size, SQLITE_DESERIALIZE_READONLY) != SQLITE_OK)
        return fail("not a database");
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), static_cast<int>(sql.size()), &prepared, nullptr) != SQLITE_OK) {
        sqlite3_finalize(prepared);
        return fail(sqlite3_errmsg(db.get()));
    }
    const std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(prepared);
    SqlRows rows;
    const int columns = sqlite3_column_count(statement.get());
    while (true) {
        const int step = sqlite3_step(statement.get());
        if (step == SQLITE_DONE) return rows;
        if (step != SQLITE_ROW) return fail(sqlite3_errmsg(db.get()));
        std::vector<std::string>& row = rows.emplace_back();
        for (int c = 0; c < columns; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), c));
            row.emplace_back(text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), c)))
                                  : std::string());
        }
    }
}

}  // namespace

std::optional<PackageLibraries> systemPackageLibraries() {
    return PackageLibraries{listEntries, readEntry, decompressZstd, query};
}

}  // namespace kvz
