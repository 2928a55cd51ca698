#include "core/own_outputs.h"

#include <array>
#include <vector>

#include "common/layout.h"

namespace kvz {
namespace {

constexpr std::size_t kLargestImageText = 256 * 1024;
constexpr std::size_t kLargestLog = 64 * 1024 * 1024;
constexpr std::string_view kEndRecord = ":00000001FF";
constexpr std::array<unsigned char, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The text's lines without their line ends (CR LF or LF); a text that ends
// with a line end has no empty line behind it.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isUpperHex(std::string_view digits) {
    if (digits.size() < 4) return false;
    for (const char c : digits)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

// The bytes of a record ":LLAAAATT...CC", or nothing when it is not one
// whose length and checksum are right.
std::optional<std::vector<std::uint8_t>> recordBytes(std::string_view line) {
    if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    unsigned sum = 0;
    for (std::size_t i = 1; i < line.size(); i += 2) {
        const int high = hexDigit(line[i]);
        const int low = hexDigit(line[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        sum += bytes.back();
    }
    if (bytes.size() != std::size_t{bytes[0]} + 5 || (sum & 0xFF) != 0) return std::nullopt;
    return bytes;
}

// The record of line `number` of a numbered text, "N:LLAAAATT...CC", with
// its colon put back, or nothing.
std::optional<std::string> numberedRecord(std::string_view line, std::size_t number) {
    const std::string prefix = std::to_string(number) + ":";
    if (!line.starts_with(prefix)) return std::nullopt;
    std::string record(1, ':');
    record.append(line.substr(prefix.size()));
    return record;
}

bool isLogLine(std::string_view line) {
    const std::size_t colon = line.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view range = line.substr(colon + 1);
    const std::size_t dash = range.find('-');
    return dash != std::string_view::npos && isUpperHex(range.substr(0, dash)) && isUpperHex(range.substr(dash + 1));
}

bool isOwnLog(std::string_view text) {
    if (text.size() > kLargestLog) return false;
    for (const std::string_view line : splitLines(text))
        if (!isLogLine(line)) return false;
    return true;
}

bool isPreviewStart(std::string_view contents) {
    if (contents.size() < kPngSignature.size() + 8) return false;
    for (std::size_t i = 0; i < kPngSignature.size(); ++i)
        if (static_cast<unsigned char>(contents[i]) != kPngSignature[i]) return false;
    return contents.substr(12, 4) == "IHDR";
}

std::string_view describeKind(OutputKind kind) {
    switch (kind) {
        case OutputKind::image: return "an Intel HEX file";
        case OutputKind::numberedImage: return "a numbered HEX file";
        case OutputKind::preview: return "a PNG image";
        case OutputKind::log: return "a log";
    }
    return "a file";
}

}  // namespace

std::size_t ownOutputReadLimit(OutputKind kind) {
    switch (kind) {
        case OutputKind::image:
        case OutputKind::numberedImage: return kLargestImageText;
        case OutputKind::preview: return kPngSignature.size() + 8;
        case OutputKind::log: return kLargestLog;
    }
    return 0;
}

std::optional<std::uint32_t> ownImageTextEnd(std::string_view text, bool numbered) {
    if (text.size() > kLargestImageText) return std::nullopt;
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty()) return std::nullopt;
    std::uint32_t end = kLoadAddress;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::optional<std::string> record = numbered ? numberedRecord(lines[i], i + 1)
                                                           : std::optional<std::string>(lines[i]);
        if (!record) return std::nullopt;
        if (i + 1 == lines.size()) {
            if (*record != kEndRecord) return std::nullopt;
            break;
        }
        const std::optional<std::vector<std::uint8_t>> bytes = recordBytes(*record);
        if (!bytes || (*bytes)[3] != 0x00 || (*bytes)[0] == 0) return std::nullopt;
        end = static_cast<std::uint32_t>(((*bytes)[1] << 8 | (*bytes)[2]) + (*bytes)[0]);
    }
    return end;
}

std::optional<std::string> unnumberedImageText(std::string_view numbered) {
    if (!ownImageTextEnd(numbered, true)) return std::nullopt;
    std::string text;
    const std::vector<std::string_view> lines = splitLines(numbered);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text.append(*numberedRecord(lines[i], i + 1));
        text.append("\r\n");
    }
    return text;
}

bool isOwnOutput(OutputKind kind, std::string_view contents) {
    switch (kind) {
        case OutputKind::image: return ownImageTextEnd(contents, false).has_value();
        case OutputKind::numberedImage: return ownImageTextEnd(contents, true).has_value();
        case OutputKind::preview: return isPreviewStart(contents);
        case OutputKind::log: return isOwnLog(contents);
    }
    return false;
}

std::string describeForeignOutput(std::string_view path, OutputKind kind) {
    return std::string(path) + " exists and is not " + std::string(describeKind(kind)) +
           " written by kvzpack; " + std::string(kOutputWayOut);
}

std::vector<DeckOutput> deckOutputs(std::string_view deckBase) {
    const std::string base(deckBase);
    return {{base + ".txt", "its numbered HEX text"},
            {base + ".ihx", "its image"},
            {base + ".png", "its preview"},
            {base + ".log", "its log"}};
}

std::string describeInputNamedLikeOutput(std::string_view deck, const DeckOutput& output) {
    return "'kvzpack " + std::string(deck) + "' writes " + std::string(output.what) + " to " + output.path +
           " and will refuse to replace this file: rename it, or convert with 'kvzpack --output-dir DIR " +
           std::string(deck) + "'";
}

std::string describeNonRegularOutput(std::string_view path) {
    return std::string(path) + " exists and is not a regular file; " + std::string(kOutputWayOut);
}

}  // namespace kvz
