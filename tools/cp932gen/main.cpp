// kvz_cp932gen OUTPUT.cpp: asks the system's iconv for CP932 -> Unicode of
// every one- and two-byte code and for Unicode -> CP932 of every character,
// once, and writes the answers as the constant data that
// src/deck/cp932_table.h declares.
#include <gnu/libc-version.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "deck/cp932_table.h"
#include "system_cp932.h"

namespace cp932gen {
namespace {

namespace table = kvz::cp932;

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string bytesName(const std::string& bytes) {
    std::string name;
    for (unsigned char byte : bytes) name += (name.empty() ? "" : " ") + hex(byte, 2);
    return name;
}

// The character that iconv decodes `bytes` to, kNoCharacter when it gives
// none or more than one.
char16_t decodeOne(SystemCp932& iconv, const std::string& bytes) {
    const std::optional<std::u32string> text = iconv.decode(bytes);
    if (!text || text->size() != 1) return table::kNoCharacter;
    if (text->front() >= 0xFFFF) throw std::runtime_error(bytesName(bytes) + " decodes beyond U+FFFE");
    return static_cast<char16_t>(text->front());
}

struct Decodings {
    std::vector<char16_t> oneByte;
    std::vector<char16_t> twoByte;
};

Decodings decodings(SystemCp932& iconv) {
    Decodings result{std::vector<char16_t>(256),
                     std::vector<char16_t>(table::kTwoByteCharacters.size(), table::kNoCharacter)};
    for (unsigned byte = 0; byte <= 0xFF; ++byte) {
        result.oneByte[byte] = decodeOne(iconv, std::string(1, static_cast<char>(byte)));
    }
    for (unsigned lead = 0; lead <= 0xFF; ++lead) {
        for (unsigned trail = 0; trail <= 0xFF; ++trail) {
            const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
            const char16_t character = decodeOne(iconv, bytes);
            if (character == table::kNoCharacter) continue;
            const int row = table::leadRow(static_cast<std::uint8_t>(lead));
            if (row < 0 || trail < table::kFirstTrail || trail > table::kLastTrail) {
                throw std::runtime_error(bytesName(bytes) + " decodes outside the table's rows");
            }
            result.twoByte[static_cast<std::size_t>(row) * table::kTrailBytes + (trail - table::kFirstTrail)] = character;
        }
    }
    return result;
}

bool isSurrogate(char32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }

struct Encodings {
    std::vector<std::uint16_t> codes = std::vector<std::uint16_t>(0x10000, table::kNoCode);  // by BMP character
    std::vector<table::CharacterRange> nothing;
};

void addNothing(std::vector<table::CharacterRange>& ranges, char32_t codePoint) {
    if (!ranges.empty() && ranges.back().last + 1 == codePoint) {
        ranges.back().last = codePoint;
    } else {
        ranges.push_back({codePoint, codePoint});
    }
}

Encodings encodings(SystemCp932& iconv) {
    Encodings result;
    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        if (isSurrogate(codePoint)) continue;
        const std::optional<std::string> bytes = iconv.encode(codePoint);
        if (!bytes) continue;
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>((*bytes)[i]); };
        if (bytes->empty()) {
            addNothing(result.nothing, codePoint);
        } else if (codePoint < 0xFFFF && bytes->size() == 1) {
            result.codes[codePoint] = byte(0);
        } else if (codePoint < 0xFFFF && bytes->size() == 2 && table::leadRow(byte(0)) >= 0) {
            result.codes[codePoint] = static_cast<std::uint16_t>(byte(0) << 8 | byte(1));
        } else {
            throw std::runtime_error("U+" + hex(codePoint, 4).substr(2) + " encodes to " + bytesName(*bytes) +
                                     ", which the table cannot hold");
        }
    }
    return result;
}

// Writes `values`, `perLine` to a line, each line after its label comment.
template <typename Label>
void writeValues(std::ostream& out, const std::uint16_t* values, std::size_t count, std::size_t perLine,
                 Label label) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i % perLine == 0) out << "    ";
        out << hex(values[i], 4) << ",";
        out << (i % perLine == perLine - 1 || i + 1 == count ? "  // " + label(i - i % perLine) + "\n" : " ");
    }
}

void writeCharacters(std::ostream& out, const Decodings& decoding) {
    const std::vector<std::uint16_t> oneByte(decoding.oneByte.begin(), decoding.oneByte.end());
    out << "const std::array<char16_t, 256> kOneByteCharacters{{\n";
    writeValues(out, oneByte.data(), oneByte.size(), 16, [](std::size_t i) { return hex(static_cast<unsigned>(i), 2); });
    out << "}};\n\n";
    const std::vector<std::uint16_t> twoByte(decoding.twoByte.begin(), decoding.twoByte.end());
    out << "const std::array<char16_t, kLeadBytes * kTrailBytes> kTwoByteCharacters{{\n";
    for (unsigned lead = 0; lead <= 0xFF; ++lead) {
        const int row = table::leadRow(static_cast<std::uint8_t>(lead));
        if (row < 0) continue;
        writeValues(out, twoByte.data() + static_cast<std::size_t>(row) * table::kTrailBytes, table::kTrailBytes, 12,
                    [lead](std::size_t i) {
                        return hex(lead, 2) + " " + hex(static_cast<unsigned>(table::kFirstTrail + i), 2);
                    });
    }
    out << "}};\n\n";
}

void writeEncodingPages(std::ostream& out, const Encodings& encoding) {
    std::vector<unsigned> pageOfBlock(256, table::kNoPage);
    std::vector<unsigned> blocks;
    for (unsigned block = 0; block < 256; ++block) {
        for (unsigned low = 0; low < 256; ++low) {
            if (encoding.codes[block * 256 + low] == table::kNoCode) continue;
            if (blocks.size() == table::kNoPage) throw std::runtime_error("too many blocks of characters with codes");
            pageOfBlock[block] = static_cast<unsigned>(blocks.size());
            blocks.push_back(block);
            break;
        }
    }
    out << "const std::array<std::uint8_t, 256> kEncodingPageOfBlock{{\n";
    for (unsigned block = 0; block < 256; ++block) {
        out << (block % 16 == 0 ? "    " : "") << hex(pageOfBlock[block], 2) << ","
            << (block % 16 == 15 ? "  // U+" + hex(block - 15, 2).substr(2) + "00\n" : " ");
    }
    out << "}};\n\n";
    out << "constexpr std::array<EncodingPage, " << blocks.size() << "> kEncodingPageData{{\n";
    for (unsigned block : blocks) {
        out << "    {{\n";
        writeValues(out, encoding.codes.data() + block * 256, 256, 16, [block](std::size_t i) {
            return "U+" + hex(block * 256 + static_cast<unsigned>(i), 4).substr(2);
        });
        out << "    }},\n";
    }
    out << "}};\n\n";
}

void writeNothing(std::ostream& out, const Encodings& encoding) {
    out << "constexpr std::array<CharacterRange, " << encoding.nothing.size() << "> kEncodedAsNothingData{{\n";
    for (const table::CharacterRange& range : encoding.nothing) {
        out << "    {" << hex(static_cast<unsigned>(range.first), 4) << ", "
            << hex(static_cast<unsigned>(range.last), 4) << "},\n";
    }
    out << "}};\n\n";
}

void writeTable(std::ostream& out, const Decodings& decoding, const Encodings& encoding) {
    out << "// Generated by kvz_cp932gen (tools/cp932gen) from the iconv of GNU libc "
        << gnu_get_libc_version() << "; do not edit.\n"
        << "// Regenerate with: cmake --build build --target cp932-table\n"
        << "#include \"deck/cp932_table.h\"\n\n"
        << "namespace kvz::cp932 {\n\n";
    writeCharacters(out, decoding);
    writeEncodingPages(out, encoding);
    writeNothing(out, encoding);
    out << "const std::span<const EncodingPage> kEncodingPages{kEncodingPageData};\n"
        << "const std::span<const CharacterRange> kEncodedAsNothing{kEncodedAsNothingData};\n\n"
        << "}  // namespace kvz::cp932\n";
}

}  // namespace
}  // namespace cp932gen

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvz_cp932gen OUTPUT.cpp\n");
        return 2;
    }
    try {
        cp932gen::SystemCp932 iconv;
        const cp932gen::Decodings decoding = cp932gen::decodings(iconv);
        const cp932gen::Encodings encoding = cp932gen::encodings(iconv);
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        cp932gen::writeTable(out, decoding, encoding);
        if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kvz_cp932gen: %s\n", error.what());
        return 1;
    }
    return 0;
}
