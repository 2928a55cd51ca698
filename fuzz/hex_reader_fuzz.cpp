// The Intel HEX reader on arbitrary text, with a destination window and
// checksum verification on or off chosen by the input's first bytes; the two
// readings against each other: what the image reading accepts, the lenient one
// reads alike; and the writer and reader together: any image formatted and
// read back is itself.
//
// Input: byte 0 selects the mode (bit 0 verify, bit 1 no destination, bit 2
// writer round trip, bit 3 both readings compared, bit 4 adds 0x10000 to the
// window limit, bit 5 to the destination size), bytes 1-2 the window limit,
// bytes 3-4 the destination size; the rest is the HEX text (or, for the round
// trip, the image, with bytes 1-2 as its base address and bit 0 asking for
// numbered lines).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "hexfile/hex.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "hex_reader_fuzz: %s\n", what);
    std::abort();
}

constexpr std::size_t kHeader = 5;

void readArbitraryText(const std::uint8_t* data, std::size_t size) {
    const bool verify = (data[0] & 1) != 0;
    const bool scanOnly = (data[0] & 2) != 0;
    const std::uint32_t limit = data[1] | data[2] << 8 | (data[0] & 0x10) << 12;
    const std::size_t destinationSize =
        scanOnly ? 0 : (data[3] | data[4] << 8) + (data[0] & 0x20 ? 0x10000 : 0);
    std::vector<std::uint8_t> destination(destinationSize, 0xA5);
    const std::string_view text(reinterpret_cast<const char*>(data + kHeader), size - kHeader);
    const kvz::HexReadOptions options{kvz::HexReading::lenient, verify, 0, limit};
    auto read = kvz::readHexText(text, destination, options);
    if (!read) {
        if (read.reason().rfind("line ", 0) != 0) finding("a fault without its line");
        return;
    }
    if (read->span > 0 && read->lowest > 0xFFFF) finding("data read without a lowest address");
}

bool linesFitTheLenientReading(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t length = (end == std::string_view::npos ? text.size() : end + 1) - start;
        if (length > 255) return false;
        start += length;
    }
    return true;
}

void compareReadings(const std::uint8_t* data, std::size_t size) {
    const bool verify = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + kHeader), size - kHeader);
    std::vector<std::uint8_t> image(0x10000, 0xA5);
    auto strict = kvz::readHexText(text, image, {kvz::HexReading::image, verify, 0, 0x10000});
    if (!strict) {
        if (strict.reason().rfind("line ", 0) != 0 && strict.reason() != "no records")
            finding("an image fault without its line");
        return;
    }
    if (strict->span == 0 || strict->lowest + strict->span > 0x10000) finding("an image outside memory");
    if (!linesFitTheLenientReading(text)) return;
    std::vector<std::uint8_t> memory(0x10000, 0xA5);
    auto lenient = kvz::readHexText(text, memory, {kvz::HexReading::lenient, verify, 0, 0x10000});
    if (!lenient) finding("the lenient reading refuses an image");
    if (lenient->lowest != strict->lowest || lenient->span != strict->span)
        finding("the two readings place the image differently");
    if (memory != image) finding("the two readings read other bytes");
}

void roundTrip(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t base = data[1] | data[2] << 8;
    const std::vector<std::uint8_t> image(data + kHeader, data + size);
    auto text = kvz::formatHexAbs(image, base, (data[0] & 1) != 0);
    if (!text) {
        if (base + image.size() <= 0x10000) finding("an image that fits below 0x10000 is refused");
        return;
    }
    if ((data[0] & 1) != 0) return;  // numbered lines are not for the reader
    std::vector<std::uint8_t> memory(0x10000, 0);
    auto read = kvz::readHexText(*text, memory, {kvz::HexReading::image, true, 0, 0x10000});
    if (image.empty()) {
        if (read) finding("an empty image reads back as data");
        return;
    }
    if (!read) finding(read.reason().c_str());
    if (!read->warnings.empty()) finding("the writer's text gives a warning");
    if (read->span != image.size() || read->lowest != base) finding("the image reads back at another place");
    for (std::size_t i = 0; i < image.size(); ++i)
        if (memory[base + i] != image[i]) finding("the image reads back with other bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeader) return 0;
    if ((data[0] & 4) != 0)
        roundTrip(data, size);
    else if ((data[0] & 8) != 0)
        compareReadings(data, size);
    else
        readArbitraryText(data, size);
    return 0;
}
