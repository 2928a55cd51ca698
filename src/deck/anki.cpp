#include "deck/anki.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>

#include "common/text.h"
#include "deck/table.h"
#include "deck/utf8.h"

namespace kvz {
namespace {

std::optional<std::size_t> columnNumber(std::string_view value) {
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc{} || end != value.data() + value.size() || number == 0) return std::nullopt;
    return number;
}

void readHeaderLine(std::string_view line, ExportHeader& header) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string key = lowerTrimmed(line.substr(1, colon - 1));
    const std::string_view rawValue = line.substr(colon + 1);
    std::string_view value = rawValue;
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front()))) value.remove_prefix(1);
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.remove_suffix(1);
    if (key == "separator") {
        // A space or a tab is its own value; trimming would lose it.
        header.separator = parseSeparatorName(value.empty() ? rawValue : value);
        header.present = true;
    } else if (key == "html") {
        header.html = lowerTrimmed(value) == "true";
        header.present = true;
    } else if (key == "guid column" || key == "notetype column" || key == "deck column" || key == "tags column") {
        const std::optional<std::size_t> number = columnNumber(value);
        auto& column = key == "guid column"       ? header.guidColumn
                       : key == "notetype column" ? header.notetypeColumn
                       : key == "deck column"     ? header.deckColumn
                                                  : header.tagsColumn;
        column = number;
        header.present = true;
    }
}

// The character an entity stands for ("amp", "#39", "#x3042"), or 0.
char32_t entityCharacter(std::string_view name) {
    constexpr std::array<std::pair<std::string_view, char32_t>, 6> kNamed{{
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '}}};
    for (const auto& [known, character] : kNamed)
        if (name == known) return character;
    if (name.size() < 2 || name.front() != '#') return 0;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (error != std::errc{} || end != digits.data() + digits.size() || value == 0 || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return value;
}

bool isBreakTag(std::string_view tag) {
    std::string name = lowerTrimmed(tag.substr(0, tag.find_first_of(" \t\n/>", 1)));
    if (name.starts_with("</")) name.erase(1, 1);
    return name == "<br" || name == "<div" || name == "<p" || name == "<li";
}

std::string collapseSpaces(std::string_view text) {
    std::string out;
    bool space = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

}  // namespace

ExportHeader readExportHeader(std::string_view text) {
    ExportHeader header;
    while (text.starts_with('#')) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        readHeaderLine(line, header);
        ++header.lines;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return header;
}

std::string htmlToText(std::string_view html) {
    std::string out;
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c == '<') {
            const std::size_t close = html.find('>', i);
            if (close != std::string_view::npos) {
                if (isBreakTag(html.substr(i, close - i + 1))) out += ' ';
                i = close + 1;
                continue;
            }
        } else if (c == '&') {
            const std::size_t semicolon = html.find(';', i);
            if (semicolon != std::string_view::npos && semicolon - i <= 10) {
                if (const char32_t character = entityCharacter(html.substr(i + 1, semicolon - i - 1))) {
                    appendUtf8(out, character);
                    i = semicolon + 1;
                    continue;
                }
            }
        } else if (html.substr(i).starts_with("[sound:")) {
            const std::size_t close = html.find(']', i);
            if (close != std::string_view::npos) {
                i = close + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return collapseSpaces(out);
}

std::string removeCloze(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i).starts_with("{{c")) {
            std::size_t digits = i + 3;
            while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
            const std::size_t close = text.find("}}", digits);
            if (digits > i + 3 && text.substr(digits).starts_with("::") && close != std::string_view::npos) {
                const std::string_view inside = text.substr(digits + 2, close - digits - 2);
                out += inside.substr(0, inside.find("::"));
                i = close + 2;
                continue;
            }
        }
        out += text[i];
        ++i;
    }
    return out;
}

std::string applyFurigana(std::string_view text, Furigana kind) {
    std::string out;
    std::size_t baseStart = 0;  // in `out`: where a base that follows would start
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '>') {
            out += c;
            baseStart = out.size();
            continue;
        }
        const std::size_t close = c == '[' ? text.find(']', i) : std::string_view::npos;
        if (close == std::string_view::npos || baseStart == out.size()) {
            out += c;
            continue;
        }
        // The space that marks the base's start is dropped.
        const bool spaceBefore = baseStart > 0 && out[baseStart - 1] == ' ';
        const std::string base = out.substr(baseStart);
        const std::string_view reading = text.substr(i + 1, close - i - 1);
        out.resize(spaceBefore ? baseStart - 1 : baseStart);
        if (kind == Furigana::base) out += base;
        if (kind == Furigana::reading) out += reading;
        if (kind == Furigana::both) out += base + "(" + std::string(reading) + ")";
        baseStart = out.size();
        i = close;
    }
    return out;
}

}  // namespace kvz
