#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "hexfile/hex.h"
#include "hexfile/hex_detail.h"

namespace kvz {

namespace {

using detail::hex2i;

// The addresses whose bytes are kept: address a goes to destination[a - offset]
// when offset <= a and a - offset < size. Without a destination nothing is
// stored, but the window still decides which data digits are read.
struct Window {
    std::span<std::uint8_t> destination;
    std::uint32_t offset = 0;
    std::uint64_t size = 0;

    bool contains(std::uint32_t address) const {
        return address >= offset && address - offset < size;
    }
};

Window makeWindow(std::span<std::uint8_t> destination, std::uint32_t offset, std::uint32_t limit) {
    std::uint64_t size = limit;
    if (!destination.empty()) size = std::min<std::uint64_t>(size, destination.size());
    return Window{destination, offset, size};
}

struct Bounds {
    std::uint32_t lowest = 0xFFFF;
    std::uint32_t highestEnd = 0;
};

enum class Outcome { more, dataEnd, failed };

std::uint8_t checksumOf(unsigned sum) { return static_cast<std::uint8_t>(0x100 - (sum & 0xFF)); }

// Judges one line of at most maxLineLength characters; digits are never taken
// from beyond it. Characters after the last one examined are ignored.
Outcome readRecord(std::string_view line, const Window& window, bool verify, Bounds& bounds) {
    if (line.empty() || line[0] != ':') return Outcome::failed;
    const int count = hex2i(line, 1);
    if (count < 0) return Outcome::failed;
    if (count == 0) return Outcome::dataEnd;
    const int high = hex2i(line, 3);
    const int low = hex2i(line, 5);
    if (high < 0 || low < 0) return Outcome::failed;
    const int type = hex2i(line, 7);
    if (type == 1) return Outcome::dataEnd;
    if (type != 0) return Outcome::failed;

    const auto address = static_cast<std::uint32_t>(high * 256 + low);
    unsigned sum = static_cast<unsigned>(count + high + low);
    int stored = 0;
    bool windowEnded = false;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t byteAddress = address + static_cast<std::uint32_t>(i);
        windowEnded = windowEnded || !window.contains(byteAddress);
        // Past the window's end a record is read on only to verify its checksum.
        if (windowEnded && !verify) break;
        const int value = hex2i(line, 9 + 2 * static_cast<std::size_t>(i));
        if (value < 0) return Outcome::failed;
        sum += static_cast<unsigned>(value);
        if (windowEnded) continue;
        if (!window.destination.empty()) {
            window.destination[byteAddress - window.offset] = static_cast<std::uint8_t>(value);
        }
        ++stored;
    }
    if (verify) {
        const int checksum = hex2i(line, 9 + 2 * static_cast<std::size_t>(count));
        if (checksum < 0 || checksum != checksumOf(sum)) return Outcome::failed;
    }

    const auto length = static_cast<std::uint32_t>(window.destination.empty() ? count : stored);
    if (length == 0) return Outcome::dataEnd;
    bounds.lowest = std::min(bounds.lowest, address);
    bounds.highestEnd = std::max(bounds.highestEnd, address + length);
    return Outcome::more;
}

enum class Piece { line, end, failed };

// Lines as the reader takes them: at most maxLineLength characters a piece,
// a piece stopping after its line end.
class TextLines {
public:
    explicit TextLines(std::string_view text) : rest_(text) {}
    Piece next(std::string_view& line) {
        if (rest_.empty()) return Piece::end;
        std::size_t length = std::min(rest_.size(), detail::maxLineLength);
        const std::size_t lineEnd = rest_.substr(0, length).find('\n');
        if (lineEnd != std::string_view::npos) length = lineEnd + 1;
        line = rest_.substr(0, length);
        rest_.remove_prefix(length);
        return Piece::line;
    }

private:
    std::string_view rest_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

class FileLines {
public:
    explicit FileLines(std::FILE* file) : file_(file) { buffer_.reserve(detail::maxLineLength); }
    Piece next(std::string_view& line) {
        buffer_.clear();
        while (buffer_.size() < detail::maxLineLength) {
            const int c = std::getc(file_);
            if (c == EOF) break;
            buffer_ += static_cast<char>(c);
            if (c == '\n') break;
        }
        if (std::ferror(file_)) return Piece::failed;
        if (buffer_.empty()) return Piece::end;
        line = buffer_;
        return Piece::line;
    }

private:
    std::FILE* file_;
    std::string buffer_;
};

template <class Lines>
std::uint32_t readRecords(Lines& lines, const Window& window, std::uint32_t* lowest, bool verify) {
    Bounds bounds;
    std::string_view line;
    for (;;) {
        const Piece piece = lines.next(line);
        if (piece == Piece::failed) return 0;
        if (piece == Piece::end) break;
        const Outcome outcome = readRecord(line, window, verify, bounds);
        if (outcome == Outcome::failed) return 0;
        if (outcome == Outcome::dataEnd) break;
    }
    if (lowest != nullptr) *lowest = bounds.lowest;
    return bounds.lowest <= bounds.highestEnd ? bounds.highestEnd - bounds.lowest : 0;
}

std::uint32_t readFile(const std::string& path, const Window& window, std::uint32_t* lowest,
                       bool verify) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return 0;
    FileLines lines(file.get());
    return readRecords(lines, window, lowest, verify);
}

}  // namespace

std::uint32_t readHexText(std::string_view text, std::span<std::uint8_t> destination,
                          std::uint32_t* lowest, std::uint32_t limit, bool verify) {
    TextLines lines(text);
    return readRecords(lines, makeWindow(destination, 0, limit), lowest, verify);
}

std::uint32_t readHex(const std::string& path, std::span<std::uint8_t> destination,
                      std::uint32_t* lowest, std::uint32_t limit, bool verify) {
    return readFile(path, makeWindow(destination, 0, limit), lowest, verify);
}

std::uint32_t readHexAbs(const std::string& path, std::span<std::uint8_t> destination,
                         std::uint32_t* lowest, std::uint32_t limit, bool verify) {
    std::uint32_t low = 0;
    if (readFile(path, makeWindow({}, 0, 0xFFFF), &low, verify) == 0) return 0;
    if (lowest != nullptr) *lowest = low;
    return readFile(path, makeWindow(destination, low, limit), nullptr, verify);
}

}  // namespace kvz
