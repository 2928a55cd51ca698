#include "core/png_runs.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <span>
#include <string_view>

namespace kvz {
namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes) c = kCrcTable[(c ^ byte) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Adler-32 of a byte sequence given as runs of one byte value.
class Adler32 {
public:
    void addRun(std::uint8_t byte, std::size_t count) {
        const std::uint64_t n = count % kModulus;
        const std::uint64_t triangle = (std::uint64_t{count} * (count + 1) / 2) % kModulus;
        b_ = static_cast<std::uint32_t>((b_ + n * a_ + byte * triangle) % kModulus);
        a_ = static_cast<std::uint32_t>((a_ + byte * n) % kModulus);
    }
    std::uint32_t value() const { return b_ << 16 | a_; }

private:
    static constexpr std::uint32_t kModulus = 65521;
    std::uint32_t a_ = 1;
    std::uint32_t b_ = 0;
};

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Bits go out least significant first.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(std::uint32_t value, int count) {
        bits_ |= value << pending_;
        pending_ += count;
        for (; pending_ >= 8; pending_ -= 8, bits_ >>= 8) out_.push_back(static_cast<std::uint8_t>(bits_));
    }
    void flush() {
        if (pending_ > 0) out_.push_back(static_cast<std::uint8_t>(bits_));
        bits_ = 0;
        pending_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint32_t bits_ = 0;
    int pending_ = 0;
};

// A Huffman code as it goes out: most significant bit first, so reversed.
struct Code {
    std::uint16_t bits = 0;
    std::uint8_t length = 0;
};

constexpr Code reversedCode(std::uint32_t code, int length) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
    return Code{static_cast<std::uint16_t>(reversed), static_cast<std::uint8_t>(length)};
}

// Code lengths of a Huffman code for `frequencies` (0: symbol unused), none
// longer than `limit`. Where the plain code would be longer, the
// frequencies are halved (a used symbol stays at 1 at least) until it is
// not: a little less compact, always a complete code when two or more
// symbols are used.
std::vector<std::uint8_t> huffmanLengths(std::span<const std::uint32_t> frequencies, int limit) {
    std::vector<std::uint64_t> weights(frequencies.begin(), frequencies.end());
    std::vector<std::uint8_t> lengths(frequencies.size(), 0);
    for (;;) {
        // Nodes: the symbols, then the merged nodes; parent[] links upwards.
        std::vector<std::uint64_t> weight;
        std::vector<std::size_t> parent, symbolNode(frequencies.size(), SIZE_MAX);
        using Entry = std::pair<std::uint64_t, std::size_t>;
        std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
        for (std::size_t s = 0; s < weights.size(); ++s) {
            if (weights[s] == 0) continue;
            symbolNode[s] = weight.size();
            queue.push({weights[s], weight.size()});
            weight.push_back(weights[s]);
            parent.push_back(SIZE_MAX);
        }
        while (queue.size() > 1) {
            const Entry a = queue.top();
            queue.pop();
            const Entry b = queue.top();
            queue.pop();
            const std::size_t node = weight.size();
            weight.push_back(a.first + b.first);
            parent.push_back(SIZE_MAX);
            parent[a.second] = parent[b.second] = node;
            queue.push({a.first + b.first, node});
        }
        // Parents come after their children: depths from the root down.
        std::vector<int> depth(weight.size(), 0);
        for (std::size_t n = weight.size(); n-- > 0;)
            if (parent[n] != SIZE_MAX) depth[n] = depth[parent[n]] + 1;
        int longest = 0;
        for (std::size_t s = 0; s < weights.size(); ++s) {
            if (symbolNode[s] == SIZE_MAX) continue;
            lengths[s] = static_cast<std::uint8_t>(std::max(depth[symbolNode[s]], 1));
            longest = std::max<int>(longest, lengths[s]);
        }
        if (longest <= limit) return lengths;
        for (std::uint64_t& w : weights)
            if (w > 0) w = std::max<std::uint64_t>(1, w / 2);
    }
}

// The canonical codes of a set of code lengths (RFC 1951, 3.2.2).
std::vector<Code> canonicalCodes(std::span<const std::uint8_t> lengths) {
    constexpr int kMaxBits = 15;
    std::array<std::uint32_t, kMaxBits + 2> count{}, next{};
    for (const std::uint8_t length : lengths) ++count[length];
    count[0] = 0;
    std::uint32_t code = 0;
    for (int bits = 1; bits <= kMaxBits + 1; ++bits) {
        code = (code + count[static_cast<std::size_t>(bits - 1)]) << 1;
        next[static_cast<std::size_t>(bits)] = code;
    }
    std::vector<Code> codes(lengths.size());
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] > 0) codes[s] = reversedCode(next[lengths[s]]++, lengths[s]);
    return codes;
}

// Runs of a repeated byte as deflate symbols: the byte, then matches of the
// byte before it (distance 1), which is what filtered sheet rows are made
// of. Kept until the end, then written as one block whose Huffman codes fit
// their frequencies: most of a sheet is one symbol (a match of 258) and a
// few literals, so each takes a bit or two.
class RunDeflater {
public:
    explicit RunDeflater(std::vector<std::uint8_t>& out) : out_(out) {}

    // `count` times the same byte.
    void addRun(std::uint8_t byte, std::size_t count) {
        if (count == 0) return;
        putSymbol(byte);
        for (std::size_t left = count - 1; left > 0;) {
            if (left < kMinMatch) {
                for (; left > 0; --left) putSymbol(byte);
                break;
            }
            const std::size_t length = std::min(left, kMaxMatch);
            putMatch(length);
            left -= length;
        }
    }

    void finish() {
        putSymbol(kEndOfBlock);
        writeBlock();
    }

private:
    static constexpr std::size_t kMinMatch = 3;
    static constexpr std::size_t kMaxMatch = 258;
    static constexpr unsigned kEndOfBlock = 256;
    static constexpr std::size_t kSymbols = 286;  // literals, end of block, 29 length codes
    static constexpr std::size_t kDistanceCodes = 2;  // only code 0 (distance 1) is used
    static constexpr std::array<std::uint16_t, 29> kLengthBase{
        3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::array<std::uint8_t, 29> kLengthExtraBits{
        0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    // The order in which the code lengths of the code lengths are sent.
    static constexpr std::array<std::uint8_t, 19> kCodeLengthOrder{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

    struct Token {
        std::uint16_t symbol;
        std::uint16_t extra;  // a length's extra bits
    };

    void putSymbol(unsigned symbol) {
        tokens_.push_back({static_cast<std::uint16_t>(symbol), 0});
        ++frequencies_[symbol];
    }

    void putMatch(std::size_t length) {
        std::size_t index = kLengthBase.size() - 1;
        while (kLengthBase[index] > length) --index;
        const auto symbol = static_cast<std::uint16_t>(257 + index);
        tokens_.push_back({symbol, static_cast<std::uint16_t>(length - kLengthBase[index])});
        ++frequencies_[symbol];
    }

    void writeBlock() {
        const std::vector<std::uint8_t> lengths = huffmanLengths(frequencies_, 15);
        const std::vector<Code> codes = canonicalCodes(lengths);
        // Every code length, the literal/length code's and then the
        // distance code's (two codes of 1 bit), each sent as itself.
        std::vector<std::uint8_t> allLengths(lengths);
        allLengths.insert(allLengths.end(), kDistanceCodes, 1);
        std::array<std::uint32_t, 19> lengthFrequencies{};
        for (const std::uint8_t length : allLengths) ++lengthFrequencies[length];
        const std::vector<std::uint8_t> lengthLengths = huffmanLengths(lengthFrequencies, 7);
        const std::vector<Code> lengthCodes = canonicalCodes(lengthLengths);
        std::size_t sentLengthLengths = kCodeLengthOrder.size();
        while (sentLengthLengths > 4 && lengthLengths[kCodeLengthOrder[sentLengthLengths - 1]] == 0)
            --sentLengthLengths;

        BitWriter bits(out_);
        bits.put(1, 1);  // the last block
        bits.put(2, 2);  // dynamic codes
        bits.put(static_cast<std::uint32_t>(kSymbols - 257), 5);
        bits.put(static_cast<std::uint32_t>(kDistanceCodes - 1), 5);
        bits.put(static_cast<std::uint32_t>(sentLengthLengths - 4), 4);
        for (std::size_t i = 0; i < sentLengthLengths; ++i) bits.put(lengthLengths[kCodeLengthOrder[i]], 3);
        for (const std::uint8_t length : allLengths) bits.put(lengthCodes[length].bits, lengthCodes[length].length);
        for (const Token& token : tokens_) {
            bits.put(codes[token.symbol].bits, codes[token.symbol].length);
            if (token.symbol > kEndOfBlock) {
                bits.put(token.extra, kLengthExtraBits[token.symbol - 257u]);
                bits.put(0, 1);  // distance code 0: distance 1
            }
        }
        bits.flush();
    }

    std::vector<std::uint8_t>& out_;
    std::vector<Token> tokens_;
    std::array<std::uint32_t, kSymbols> frequencies_{};
};

void appendChunk(std::vector<std::uint8_t>& png, std::string_view type, std::span<const std::uint8_t> data) {
    putBigEndian32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    putBigEndian32(png, crc32(std::span(png).subspan(typeAt)));
}

constexpr std::uint8_t kFilterSub = 1;
constexpr std::uint8_t kFilterUp = 2;

// The filtered rows as runs of equal bytes, into the checksum and the
// compressor.
class RowRuns {
public:
    RowRuns(Adler32& adler, RunDeflater& deflater) : adler_(adler), deflater_(deflater) {}
    void add(std::uint8_t byte, std::size_t count) {
        if (count == 0) return;
        if (length_ > 0 && byte != byte_) flush();
        byte_ = byte;
        length_ += count;
    }
    void flush() {
        adler_.addRun(byte_, length_);
        deflater_.addRun(byte_, length_);
        length_ = 0;
    }

private:
    Adler32& adler_;
    RunDeflater& deflater_;
    std::uint8_t byte_ = 0;
    std::size_t length_ = 0;
};

// The zlib stream of the scaled rows, each filtered: a row equal to the one
// above becomes all zeros (Up), any other row its differences from the pixel
// to its left (Sub), which are zero inside every scaled pixel. The work
// follows the unscaled pixels.
std::vector<std::uint8_t> compressRows(const GrayBitmap& bitmap, std::size_t factor) {
    std::vector<std::uint8_t> stream{0x78, 0x01};
    Adler32 adler;
    RunDeflater deflater(stream);
    RowRuns runs(adler, deflater);
    const auto putRowAsAbove = [&] {
        runs.add(kFilterUp, 1);
        runs.add(0, bitmap.width * factor);
        runs.flush();
    };
    const auto* pixels = bitmap.pixels.data();
    for (std::size_t y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* row = pixels + y * bitmap.width;
        if (y > 0 && std::equal(row, row + bitmap.width, row - bitmap.width)) {
            putRowAsAbove();
        } else {
            runs.add(kFilterSub, 1);
            // A stretch of equal pixels is its first difference, then zeros.
            std::uint8_t left = 0;
            for (const std::uint8_t* at = row; at != row + bitmap.width;) {
                const std::uint8_t pixel = *at;
                const std::uint8_t* end = std::find_if(at, row + bitmap.width, [pixel](std::uint8_t p) { return p != pixel; });
                runs.add(static_cast<std::uint8_t>(pixel - left), 1);
                runs.add(0, static_cast<std::size_t>(end - at) * factor - 1);
                left = pixel;
                at = end;
            }
            runs.flush();
        }
        for (std::size_t copy = 1; copy < factor; ++copy) putRowAsAbove();
    }
    deflater.finish();
    putBigEndian32(stream, adler.value());
    return stream;
}

}  // namespace

std::vector<std::uint8_t> encodeRunLengthPng(const GrayBitmap& bitmap, int scale) {
    const auto factor = static_cast<std::size_t>(std::max(scale, 1));
    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBigEndian32(header, static_cast<std::uint32_t>(bitmap.width * factor));
    putBigEndian32(header, static_cast<std::uint32_t>(bitmap.height * factor));
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey, deflate, filtered rows, not interlaced
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressRows(bitmap, factor));
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace kvz
