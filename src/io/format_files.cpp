#include "io/format_files.h"

#include "hexfile/hex.h"
#include "io/io.h"

namespace kvz {
namespace {

Result<std::uint32_t> writeHexText(const std::string& path, const Result<std::string>& text,
                                   std::uint32_t dataBytes) {
    KVZ_TRY(text);
    if (Status written = io::writeFile(path, io::asBytes(*text)); !written)
        return fail("cannot write " + path + ": " + written.reason());
    return dataBytes;
}

}  // namespace

Result<std::vector<std::uint8_t>> readKvzRecords(const std::string& path) {
    Result<io::FileDescriptor> file = io::openForReading(path);
    KVZ_TRY(file);
    std::vector<std::uint8_t> bytes;
    KVZ_TRY(io::readUpTo(*file, bytes, kGroupRecordsSize));
    if (bytes.size() < kGroupRecordsSize) return bytes;
    KVZ_TRY(io::readUpTo(*file, bytes, announcedKvzSize(bytes) - bytes.size()));
    return bytes;
}

Result<KvzFile> readKvzFile(const std::string& path) {
    Result<std::vector<std::uint8_t>> bytes = readKvzRecords(path);
    KVZ_TRY(bytes);
    return readKvzBytes(*bytes);
}

Result<std::uint32_t> writeHexAbs(const std::string& path, std::span<const std::uint8_t> image,
                                  std::uint32_t base, bool numbered) {
    return writeHexText(path, formatHexAbs(image, base, numbered), static_cast<std::uint32_t>(image.size()));
}

Result<std::uint32_t> writeHex(const std::string& path, std::span<const std::uint8_t> data,
                               std::uint32_t start, std::uint32_t size, bool numbered) {
    return writeHexText(path, formatHex(data, start, size, numbered), size);
}

std::uint32_t readHex(const std::string& path, std::span<std::uint8_t> destination,
                      std::uint32_t* lowest, std::uint32_t limit, bool verify) {
    const Result<std::string> text = io::readTextFile(path);
    return text ? readHexFromText(*text, destination, lowest, limit, verify) : 0;
}

std::uint32_t readHexAbs(const std::string& path, std::span<std::uint8_t> destination,
                         std::uint32_t* lowest, std::uint32_t limit, bool verify) {
    const Result<std::string> text = io::readTextFile(path);
    return text ? readHexAbsFromText(*text, destination, lowest, limit, verify) : 0;
}

}  // namespace kvz
