// The Intel HEX reader on arbitrary text, with a destination window and
// checksum verification on or off chosen by the input's first bytes; and the
// writer and reader together: any image formatted and read back is itself.
//
// Input: byte 0 selects the mode (bit 0 verify, bit 1 no destination, bit 2
// writer round trip, bit 4 adds 0x10000 to the window limit, bit 5 to the
// destination size), bytes 1-2 the window limit, bytes 3-4 the destination
// size; the rest is the HEX text (or, for the round trip, the image, with
// bytes 1-2 as its base address and bit 0 asking for numbered lines).
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
    std::uint32_t lowest = 0x12345678;
    const std::uint32_t span = kvz::readHexText(text, destination, &lowest, limit, verify);
    if (span > 0 && lowest > 0xFFFF) finding("data read without a lowest address");
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
    std::uint32_t lowest = 0;
    const std::uint32_t span = kvz::readHexText(*text, memory, &lowest, 0x10000, true);
    if (image.empty()) {
        if (span != 0) finding("an empty image reads back as data");
        return;
    }
    if (span != image.size() || lowest != base) finding("the image reads back at another place");
    for (std::size_t i = 0; i < image.size(); ++i)
        if (memory[base + i] != image[i]) finding("the image reads back with other bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeader) return 0;
    if ((data[0] & 4) != 0)
        roundTrip(data, size);
    else
        readArbitraryText(data, size);
    return 0;
}
