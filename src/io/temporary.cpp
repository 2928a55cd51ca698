#include "io/temporary.h"

#include <algorithm>
#include <random>
#include <string_view>

#include "io/io.h"
#include "io/system_internal.h"

namespace kvz::io {
namespace {

constexpr std::string_view kSuffix = ".partXXXXXX";

}  // namespace

std::string temporaryPattern(const std::string& path) {
    const std::size_t nameStart = fileNameStart(path);
    const std::string folder = path.substr(0, nameStart);
    const std::size_t room = os::longestNameIn(folder) - kSuffix.size();
    return folder + os::leadingName(std::string_view(path).substr(nameStart), room) + std::string(kSuffix);
}

void fillRandomName(std::string& pattern) {
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::generate(pattern.end() - 6, pattern.end(), [&] { return kLetters[pick(random)]; });
}

std::string unusedTemporaryName(const std::string& path) {
    std::string name = temporaryPattern(path);
    for (;;) {
        fillRandomName(name);
        if (!os::pathExists(name)) return name;
    }
}

struct TemporaryFiles::Record {
    std::string folder;
    std::string path;
    FileDescriptor file;
    std::size_t held = 0;  // staged names of the folder not yet forgotten
};

TemporaryFiles::TemporaryFiles() = default;

TemporaryFiles::~TemporaryFiles() {
    for (const std::unique_ptr<Record>& record : records_) release(*record);
}

void TemporaryFiles::add(const std::string& name) {
    const std::lock_guard hold(mutex_);
    names_.push_back(name);
}

void TemporaryFiles::addStaged(const std::string& name) {
    const std::lock_guard hold(mutex_);
    names_.push_back(name);
    // Without a record the file is still removed on an interruption; only a
    // killed run would leave it.
    Record* record = recordOf(name.substr(0, fileNameStart(name)));
    if (!record) return;
    const std::string line = name.substr(fileNameStart(name)) + "\n";
    if (!writeAll(record->file, asBytes(line))) return;
    staged_.push_back(name);
    ++record->held;
}

void TemporaryFiles::forget(const std::string& name) {
    const std::lock_guard hold(mutex_);
    std::erase(names_, name);
    const auto staged = std::find(staged_.begin(), staged_.end(), name);
    if (staged == staged_.end()) return;
    staged_.erase(staged);
    Record* record = openRecordOf(name.substr(0, fileNameStart(name)));
    if (record && --record->held == 0) release(*record);
}

void TemporaryFiles::removeAll() {
    const std::lock_guard hold(mutex_);
    for (const std::string& name : names_) removeFile(name);
    names_.clear();
    staged_.clear();
    for (const std::unique_ptr<Record>& record : records_) release(*record);
}

TemporaryFiles::Record* TemporaryFiles::openRecordOf(const std::string& folder) {
    for (const std::unique_ptr<Record>& record : records_)
        if (record->folder == folder && record->file.isOpen()) return record.get();
    return nullptr;
}

// The open record of `folder`, made and locked on the first call; none when
// it cannot be made. A record that another run removed between its making
// and its locking (taking it for one left behind) is made again.
TemporaryFiles::Record* TemporaryFiles::recordOf(const std::string& folder) {
    if (Record* open = openRecordOf(folder)) return open;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string path = folder + std::string(kStagingRecordPrefix) + "XXXXXX";
        FileDescriptor file = os::createUniqueFile(path);
        if (!file.isOpen()) return nullptr;
        if (os::lockFile(file, true) && os::stillNamed(file)) {
            std::erase_if(records_, [&](const std::unique_ptr<Record>& record) { return record->folder == folder; });
            records_.push_back(std::make_unique<Record>(Record{folder, std::move(path), std::move(file), 0}));
            return records_.back().get();
        }
        file = FileDescriptor();
        removeFile(path);
    }
    return nullptr;
}

// Removed before it is closed, so that no other run finds it unlocked.
void TemporaryFiles::release(Record& record) {
    if (!record.file.isOpen()) return;
    removeFile(record.path);
    record.file = FileDescriptor();
    record.held = 0;
}

namespace {

// Whether `name`, read from a record, is a temporary file's name in the
// record's folder: no folder in it, and ".part" with six characters last.
bool isTemporaryName(std::string_view name) {
    const std::size_t part = name.rfind(".part");
    return !name.empty() && fileNameStart(name) == 0 && part != std::string_view::npos && part > 0 &&
           name.size() == part + 5 + 6;
}

}  // namespace

std::vector<std::string> removeAbandonedTemporaries(const std::string& folder) {
    std::vector<std::string> told;
    for (const std::string& name : os::namesStartingWith(folder, kStagingRecordPrefix)) {
        const std::string path = folder + name;
        if (pathKind(path) != PathKind::regular) continue;
        Result<FileDescriptor> record = openForReading(path);
        if (!record || !os::lockFile(*record, false)) continue;  // its run is still at work
        std::vector<std::uint8_t> bytes;
        constexpr std::size_t kLongestRecord = 4 << 20;
        if (!readUpTo(*record, bytes, kLongestRecord + 1) || bytes.size() > kLongestRecord) continue;
        std::size_t removed = 0;
        const std::string text(bytes.begin(), bytes.end());
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string temporary = folder + text.substr(start, end - start);
            if (!isTemporaryName(text.substr(start, end - start)) || pathKind(temporary) != PathKind::regular)
                continue;
            removeFile(temporary);
            if (!pathExists(temporary)) ++removed;
        }
        *record = FileDescriptor();
        removeFile(path);
        // Files already published or put right by the journal's repair
        // are gone: nothing to tell.
        if (removed == 0) continue;
        told.push_back(path + ": a run was killed while it wrote its outputs: " + std::to_string(removed) +
                       (removed == 1 ? " temporary file removed" : " temporary files removed"));
    }
    return told;
}

}  // namespace kvz::io
