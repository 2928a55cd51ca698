#include "hexfile/hex_image_internal.h"

#include <cstdint>
#include <string>
#include <vector>

#include "hexfile/hex_internal.h"

namespace kvz::detail {
namespace {

constexpr std::uint32_t kAddressSpace = 0x10000;
constexpr int kDataType = 0;
constexpr int kEndType = 1;

struct Record {
    int type = 0;
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

// One line (its line end removed) as one whole record into `record`.
Status parseRecord(std::string_view line, unsigned number, bool verify, Record& record) {
    if (line.empty() || line[0] != ':') return notRecordStart(number);
    const std::size_t digits = leadingDigits(line);
    if (1 + digits < line.size()) return notHexDigit(number, 2 + digits, line[1 + digits]);
    const int count = hex2i(line, 1);
    if (digits % 2 != 0 || digits < 10 || static_cast<std::size_t>(count) != digits / 2 - 5)
        return wrongRecordLength(number, digits, count);

    unsigned sum = 0;
    for (std::size_t position = 1; position + 2 < line.size(); position += 2)
        sum += static_cast<unsigned>(hex2i(line, position));
    const auto checksum = static_cast<std::uint8_t>(hex2i(line, line.size() - 2));
    if (verify && checksum != checksumOf(sum)) return wrongChecksum(number, checksum, checksumOf(sum));
    record.type = hex2i(line, 7);
    if (record.type != kDataType && record.type != kEndType) return unsupportedType(number, record.type);
    record.address = static_cast<std::uint32_t>(hex2i(line, 3) * 256 + hex2i(line, 5));
    record.data.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        record.data[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(hex2i(line, 9 + 2 * static_cast<std::size_t>(i)));
    return success();
}

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos;
}

// The data records gathered into one address space, each byte remembering the
// line that gave it.
class Image {
public:
    Status add(const Record& record, unsigned line) {
        if (record.address + record.data.size() > kAddressSpace)
            return dataPastAddressSpace(line);
        for (std::size_t i = 0; i < record.data.size(); ++i) {
            const std::uint32_t address = record.address + static_cast<std::uint32_t>(i);
            if (lineOf_[address] != 0 && values_[address] != record.data[i])
                return conflictingData(line, address, record.data[i], lineOf_[address], values_[address]);
            if (lineOf_[address] == 0) lineOf_[address] = line;
            values_[address] = record.data[i];
        }
        lowest_ = std::min(lowest_, record.address);
        highestEnd_ = std::max(highestEnd_, record.address + static_cast<std::uint32_t>(record.data.size()));
        return success();
    }

    bool empty() const { return highestEnd_ == 0; }

    // Fails, naming the record after it, at the first address between the
    // lowest and the highest that no record gave.
    Status checkNoGaps() const {
        std::uint32_t address = lowest_;
        while (address < highestEnd_ && lineOf_[address] != 0) ++address;
        if (address >= highestEnd_) return success();
        std::uint32_t next = address;
        while (lineOf_[next] == 0) ++next;
        return gapBefore(lineOf_[next], address, next - 1);
    }

    HexData storeInto(const Window& window) const {
        for (std::uint32_t address = lowest_; address < highestEnd_; ++address)
            if (window.contains(address)) window.store(address, values_[address]);
        HexData data;
        data.lowest = lowest_;
        data.span = highestEnd_ - lowest_;
        return data;
    }

private:
    std::vector<std::uint8_t> values_ = std::vector<std::uint8_t>(kAddressSpace);
    std::vector<unsigned> lineOf_ = std::vector<unsigned>(kAddressSpace, 0);
    std::uint32_t lowest_ = 0xFFFF;
    std::uint32_t highestEnd_ = 0;
};

// The lines of `text`, each without its LF or CR LF, numbered from 1.
class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}
    bool next(std::string_view& line) {
        if (rest_.empty()) return false;
        const std::size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number_;
        return true;
    }
    unsigned number() const { return number_; }

private:
    std::string_view rest_;
    unsigned number_ = 0;
};

}  // namespace

Result<HexData> readImageText(std::string_view text, const Window& window, bool verify) {
    Image image;
    Record record;
    Lines lines(text);
    std::string_view line;
    unsigned lastRecordLine = 0;
    unsigned emptyRecordLine = 0;
    unsigned endLine = 0;
    while (endLine == 0 && lines.next(line)) {
        KVZ_TRY(parseRecord(line, lines.number(), verify, record));
        lastRecordLine = lines.number();
        if (record.type == kEndType) {
            if (image.empty()) return endBeforeData(lines.number());
            endLine = lines.number();
        } else if (record.data.empty()) {
            if (emptyRecordLine == 0) emptyRecordLine = lines.number();
        } else {
            if (emptyRecordLine != 0)
                return emptyDataRecord(emptyRecordLine);
            KVZ_TRY(image.add(record, lines.number()));
        }
    }
    if (lastRecordLine == 0) return noRecords();
    KVZ_TRY(image.checkNoGaps());
    if (endLine == 0) return noEndRecord(lastRecordLine);
    HexData data = image.storeInto(window);
    while (lines.next(line)) {
        if (isBlank(line)) continue;
        data.warnings.push_back(recordsAfterEnd(lines.number()));
        break;
    }
    return data;
}

}  // namespace kvz::detail
