// The lenient reading, and the dispatch between the two readings.
#include <algorithm>
#include <string>

#include "hexfile/hex.h"
#include "hexfile/hex_internal.h"
#include "hexfile/hex_image_internal.h"
#include "hexfile/hex_reading_internal.h"

namespace kvz {

namespace {

using detail::hex2i;
using detail::Window;

// One read of the lenient reading: at most maxLineLength characters, stopping
// after a line end. A line longer than that arrives in several pieces.
struct Piece {
    std::string_view text;
    unsigned line = 0;          // from 1
    bool continued = false;     // a later piece of a line that did not fit
    bool cut = false;           // the line goes on in the next piece
};

class Pieces {
public:
    explicit Pieces(std::string_view text) : rest_(text) {}
    bool next(Piece& piece) {
        if (rest_.empty()) return false;
        std::size_t length = std::min(rest_.size(), detail::maxLineLength);
        const std::size_t lineEnd = rest_.substr(0, length).find('\n');
        if (lineEnd != std::string_view::npos) length = lineEnd + 1;
        piece.text = rest_.substr(0, length);
        piece.continued = cut_;
        piece.line = line_;
        rest_.remove_prefix(length);
        cut_ = piece.text.back() != '\n' && !rest_.empty();
        piece.cut = cut_;
        if (!cut_) ++line_;
        return true;
    }

private:
    std::string_view rest_;
    unsigned line_ = 1;
    bool cut_ = false;
};

struct Bounds {
    std::uint32_t lowest = 0xFFFF;
    std::uint32_t highestEnd = 0;
};

enum class Outcome { more, dataEnd };

// Why the hex byte at `position` of the piece could not be read. `count` is
// the record's byte count, if read yet.
Failure byteFault(const Piece& piece, std::size_t position, int count) {
    for (std::size_t at = position; at < position + 2; ++at) {
        if (at >= piece.text.size()) {
            if (piece.cut) return detail::lineTooLong(piece.line, detail::maxLineLength);
            break;
        }
        const char c = piece.text[at];
        if (detail::h2i(c) >= 0) continue;
        if (c != '\r' && c != '\n') return detail::notHexDigit(piece.line, at + 1, c);
        break;
    }
    return detail::wrongRecordLength(piece.line, detail::leadingDigits(piece.text), count);
}

// Judges one piece; digits are never taken from beyond it. Characters after
// the last one examined are ignored.
Result<Outcome> readRecord(const Piece& piece, const Window& window, bool verify, Bounds& bounds) {
    const std::string_view line = piece.text;
    if (piece.continued) return detail::lineTooLong(piece.line, detail::maxLineLength);
    if (line[0] != ':') return detail::notRecordStart(piece.line);
    const int count = hex2i(line, 1);
    if (count < 0) return byteFault(piece, 1, count);
    if (count == 0) return Outcome::dataEnd;
    const int high = hex2i(line, 3);
    if (high < 0) return byteFault(piece, 3, count);
    const int low = hex2i(line, 5);
    if (low < 0) return byteFault(piece, 5, count);
    const int type = hex2i(line, 7);
    if (type < 0) return byteFault(piece, 7, count);
    if (type == 1) return Outcome::dataEnd;
    if (type != 0) return detail::unsupportedType(piece.line, type);

    const auto address = static_cast<std::uint32_t>(high * 256 + low);
    unsigned sum = static_cast<unsigned>(count + high + low);
    int stored = 0;
    bool windowEnded = false;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t byteAddress = address + static_cast<std::uint32_t>(i);
        windowEnded = windowEnded || !window.contains(byteAddress);
        // Past the window's end a record is read on only to verify its checksum.
        if (windowEnded && !verify) break;
        const std::size_t position = 9 + 2 * static_cast<std::size_t>(i);
        const int value = hex2i(line, position);
        if (value < 0) return byteFault(piece, position, count);
        sum += static_cast<unsigned>(value);
        if (windowEnded) continue;
        window.store(byteAddress, static_cast<std::uint8_t>(value));
        ++stored;
    }
    if (verify) {
        const std::size_t position = 9 + 2 * static_cast<std::size_t>(count);
        const int checksum = hex2i(line, position);
        if (checksum < 0) return byteFault(piece, position, count);
        if (checksum != detail::checksumOf(sum))
            return detail::wrongChecksum(piece.line, static_cast<std::uint8_t>(checksum),
                                         detail::checksumOf(sum));
    }

    const auto length = static_cast<std::uint32_t>(window.destination.empty() ? count : stored);
    if (length == 0) return Outcome::dataEnd;
    bounds.lowest = std::min(bounds.lowest, address);
    bounds.highestEnd = std::max(bounds.highestEnd, address + length);
    return Outcome::more;
}

Result<HexData> readLenient(std::string_view text, const Window& window, bool verify) {
    Bounds bounds;
    Pieces pieces(text);
    Piece piece;
    while (pieces.next(piece)) {
        auto outcome = readRecord(piece, window, verify, bounds);
        KVZ_TRY(outcome);
        if (*outcome == Outcome::dataEnd) break;
    }
    HexData data;
    data.lowest = bounds.lowest;
    if (bounds.lowest <= bounds.highestEnd) data.span = bounds.highestEnd - bounds.lowest;
    return data;
}

// The lenient reading of `text` as readHex and readHexAbs answer it.
std::uint32_t spanOfLenientRead(std::string_view text, std::span<std::uint8_t> destination,
                                std::uint32_t* lowest, std::uint32_t windowStart, std::uint32_t limit,
                                bool verify) {
    const HexReadOptions options{HexReading::lenient, verify, windowStart, limit};
    auto data = readHexText(text, destination, options);
    if (!data) return 0;
    if (lowest != nullptr) *lowest = data->lowest;
    return data->span;
}

}  // namespace

Result<HexData> readHexText(std::string_view text, std::span<std::uint8_t> destination,
                            const HexReadOptions& options) {
    const Window window(destination, options.windowStart, options.limit);
    if (options.reading == HexReading::image) return detail::readImageText(text, window, options.verify);
    return readLenient(text, window, options.verify);
}

std::uint32_t readHexFromText(std::string_view text, std::span<std::uint8_t> destination,
                              std::uint32_t* lowest, std::uint32_t limit, bool verify) {
    return spanOfLenientRead(text, destination, lowest, 0, limit, verify);
}

std::uint32_t readHexAbsFromText(std::string_view text, std::span<std::uint8_t> destination,
                                 std::uint32_t* lowest, std::uint32_t limit, bool verify) {
    std::uint32_t low = 0;
    if (spanOfLenientRead(text, {}, &low, 0, 0xFFFF, verify) == 0) return 0;
    if (lowest != nullptr) *lowest = low;
    return spanOfLenientRead(text, destination, nullptr, low, limit, verify);
}

}  // namespace kvz
