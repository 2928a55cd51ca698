#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include "hexfile/hex.h"
#include "hexfile/hex_detail.h"

namespace kvz {

namespace detail {

void bin2hex(std::string& out, std::span<const std::uint8_t> bytes, std::uint32_t address) {
    if (bytes.empty()) {
        out += endOfFileRecord;
        out += lineEnd;
        return;
    }
    const auto count = static_cast<std::uint8_t>(bytes.size());
    const auto high = static_cast<std::uint8_t>(address >> 8);
    const auto low = static_cast<std::uint8_t>(address);
    unsigned sum = count + high + low;
    out += ':';
    int2c(out, count);
    int2c(out, high);
    int2c(out, low);
    out += "00";
    for (std::uint8_t byte : bytes) {
        int2c(out, byte);
        sum += byte;
    }
    int2c(out, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    out += lineEnd;
}

}  // namespace detail

namespace {

constexpr std::uint64_t addressSpaceEnd = 0x10000;

std::string hexAddress(std::uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(address));
    return text;
}

std::string systemReason(int error) { return std::generic_category().message(error); }

Failure writeFailure(const std::string& path, int error) {
    return fail("cannot write " + path + ": " + systemReason(error));
}

// Closes the descriptor it holds unless the holder closed it itself.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Flushes a regular file to its device: some file systems report a failed
// write only here. Devices and pipes have nothing to flush.
int syncRegularFile(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return errno;
    if (!S_ISREG(status.st_mode)) return 0;
    return ::fsync(fd) == 0 ? 0 : errno;
}

// Creates or empties `path` and writes `text` to it, every step checked.
Status writeTextFile(const std::string& path, std::string_view text) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) return fail("cannot create " + path + ": " + systemReason(errno));
    if (int error = writeAll(file.get(), text)) return writeFailure(path, error);
    if (int error = syncRegularFile(file.get())) return writeFailure(path, error);
    if (::close(file.release()) != 0) return writeFailure(path, errno);
    return success();
}

}  // namespace

Result<std::string> formatHexAbs(std::span<const std::uint8_t> image, std::uint32_t base,
                                 bool numbered) {
    const std::uint64_t end = std::uint64_t{base} + image.size();
    if (end > addressSpaceEnd) {
        return fail("data of " + std::to_string(image.size()) + " bytes at " + hexAddress(base) +
                    " would end at " + hexAddress(end - 1) + ", past address 0xFFFF");
    }
    std::string text;
    text.reserve((image.size() / detail::recordBytes + 2) * 50);
    unsigned lineNumber = 1;
    for (std::size_t offset = 0; offset < image.size(); offset += detail::recordBytes) {
        const std::size_t count = std::min(detail::recordBytes, image.size() - offset);
        if (numbered) text += std::to_string(lineNumber++);
        detail::bin2hex(text, image.subspan(offset, count),
                        static_cast<std::uint32_t>(base + offset));
    }
    if (numbered) text += std::to_string(lineNumber);
    detail::bin2hex(text, {}, 0);
    return text;
}

Result<std::uint32_t> writeHexAbs(const std::string& path, std::span<const std::uint8_t> image,
                                  std::uint32_t base, bool numbered) {
    Result<std::string> text = formatHexAbs(image, base, numbered);
    if (!text) return text.failure();
    Status written = writeTextFile(path, *text);
    if (!written) return written.failure();
    return static_cast<std::uint32_t>(image.size());
}

Result<std::uint32_t> writeHex(const std::string& path, std::span<const std::uint8_t> data,
                               std::uint32_t start, std::uint32_t size, bool numbered) {
    if (size == 0) return writeHexAbs(path, {}, start, numbered);
    if (std::uint64_t{start} + size > data.size()) {
        return fail("bytes " + hexAddress(start) + " to " +
                    hexAddress(std::uint64_t{start} + size - 1) + " lie outside the buffer of " +
                    std::to_string(data.size()) + " bytes");
    }
    return writeHexAbs(path, data.subspan(start, size), start, numbered);
}

}  // namespace kvz
