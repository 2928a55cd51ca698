#include "io/io.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "io/system_internal.h"

namespace kvz::io {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Some file systems report a failed write only when the data reach the
// device, or only at the close.
Status writeSyncClose(FileDescriptor& file, std::span<const std::uint8_t> bytes) {
    KVZ_TRY(writeAll(file, bytes));
    KVZ_TRY(os::flushToDevice(file));
    return file.close();
}

// Appends up to `count` bytes of `file` to `buffer` (a byte vector or a
// string): readUpTo's loop.
template <class Buffer>
Status appendUpTo(const FileDescriptor& file, Buffer& buffer, std::size_t count) {
    while (count > 0) {
        const std::size_t want = std::min(count, kReadChunk);
        const std::size_t before = buffer.size();
        buffer.resize(before + want);
        const std::optional<std::size_t> got = os::readSome(file, buffer.data() + before, want);
        buffer.resize(before + got.value_or(0));
        if (!got) return os::lastFailure(FailureKind::cannotOpen);
        if (*got == 0) break;
        count -= *got;
    }
    return success();
}

Status writeFileWith(const std::string& path, std::span<const std::uint8_t> bytes, bool append) {
    Result<FileDescriptor> file = os::openForWriting(path, append);
    KVZ_TRY(file);
    return writeSyncClose(*file, bytes);
}

}  // namespace

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) os::closeDescriptor(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) os::closeDescriptor(fd_);
}

Status FileDescriptor::close() {
    if (!os::closeDescriptor(std::exchange(fd_, -1))) return os::lastFailure();
    return success();
}

Status readUpTo(const FileDescriptor& file, std::vector<std::uint8_t>& bytes, std::size_t count) {
    return appendUpTo(file, bytes, count);
}

Result<std::vector<std::uint8_t>> readFile(const std::string& path) {
    Result<FileDescriptor> file = openForReading(path);
    KVZ_TRY(file);
    std::vector<std::uint8_t> bytes;
    KVZ_TRY(appendUpTo(*file, bytes, std::numeric_limits<std::size_t>::max()));
    return bytes;
}

Result<std::string> readTextFile(const std::string& path) {
    Result<FileDescriptor> file = openForReading(path);
    KVZ_TRY(file);
    std::string text;
    KVZ_TRY(appendUpTo(*file, text, std::numeric_limits<std::size_t>::max()));
    return text;
}

Result<std::string> readTextWithin(const std::string& path, std::size_t limit) {
    Result<FileDescriptor> file = openForReading(path);
    KVZ_TRY(file);
    const auto tooLarge = [&] { return fail("is larger than " + std::to_string(limit) + " bytes", FailureKind::tooLarge); };
    const Result<std::optional<std::uintmax_t>> size = os::regularFileSize(*file);
    if (!size) return fail(size.reason(), FailureKind::cannotOpen);
    if (*size && **size > limit) return tooLarge();
    std::string text;
    KVZ_TRY(appendUpTo(*file, text, limit + 1));
    if (text.size() > limit) return tooLarge();
    return text;
}

Status writeAll(const FileDescriptor& file, std::span<const std::uint8_t> bytes) {
    return writeAll(file.get(), bytes);
}

Status writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return writeFileWith(path, bytes, false);
}

Status appendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return writeFileWith(path, bytes, true);
}

Status appendToFile(const std::string& path, std::string_view text) {
    return appendToFile(path, asBytes(text));
}

Result<StagedFile> StagedFile::create(const std::string& path, TemporaryFiles* temporaries) {
    std::string name = temporaryPattern(path);
    // Created and registered in one step: an interruption never finds the
    // file made but not yet listed.
    const auto makeFile = [&] {
        FileDescriptor file = os::createUniqueFile(name);
        if (file.isOpen() && temporaries) temporaries->addStaged(name);
        return file;
    };
    FileDescriptor file = temporaries ? temporaries->exclusively(makeFile) : makeFile();
    if (!file.isOpen()) return os::lastFailure();
    StagedFile staged(path, std::move(name), std::move(file), temporaries);
    KVZ_TRY(os::useUsualPermissions(staged.file_));
    return staged;
}

StagedFile::StagedFile(std::string path, std::string temporary, FileDescriptor file, TemporaryFiles* temporaries)
    : path_(std::move(path)), temporary_(std::move(temporary)), file_(std::move(file)), temporaries_(temporaries) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)),
      temporary_(std::move(other.temporary_)),
      file_(std::move(other.file_)),
      temporaries_(other.temporaries_),
      pending_(std::exchange(other.pending_, false)) {}

StagedFile::~StagedFile() {
    if (!pending_) return;
    file_ = FileDescriptor();  // Windows removes no file that is still open
    removeFile(temporary_);
    forgetTemporary();
}

void StagedFile::forgetTemporary() {
    if (temporaries_) temporaries_->forget(temporary_);
}

void StagedFile::markPublished() {
    pending_ = false;
    forgetTemporary();
}

Status StagedFile::write(std::span<const std::uint8_t> bytes) { return writeSyncClose(file_, bytes); }

Status StagedFile::write(std::string_view text) { return write(asBytes(text)); }

Status StagedFile::commit() {
    KVZ_TRY(os::replaceName(temporary_, path_));
    markPublished();
    return success();
}

Status replaceFile(const std::string& path, std::span<const std::uint8_t> bytes, TemporaryFiles* temporaries) {
    Result<StagedFile> staged = StagedFile::create(path, temporaries);
    KVZ_TRY(staged);
    KVZ_TRY(staged->write(bytes));
    return staged->commit();
}

bool pathExists(const std::string& path) { return os::pathExists(path); }

Result<std::vector<std::uint8_t>> readFirstBytes(const std::string& path, std::size_t count) {
    Result<FileDescriptor> file = openForReading(path);
    KVZ_TRY(file);
    std::vector<std::uint8_t> bytes;
    KVZ_TRY(appendUpTo(*file, bytes, count));
    return bytes;
}

std::string deviceNameReason() { return "is the name of a device on Windows, not of a file"; }

bool isWindowsDeviceName(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\:");
    std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    name = name.substr(0, name.find('.'));
    while (name.ends_with(' ')) name.remove_suffix(1);
    std::string upper;
    for (const char c : name) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (upper == device) return true;
    if (upper.size() < 4 || (!upper.starts_with("COM") && !upper.starts_with("LPT"))) return false;
    const std::string_view number = std::string_view(upper).substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace kvz::io
