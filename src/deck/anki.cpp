#include "deck/anki.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <vector>

#include "common/text.h"
#include "deck/html_entities.h"
#include "deck/table.h"
#include "deck/utf8.h"

namespace kvz {
namespace {

// ---------------------------------------------------------------- header

std::optional<std::size_t> columnNumber(std::string_view value) {
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc{} || end != value.data() + value.size() || number == 0) return std::nullopt;
    return number;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

enum class HeaderKey { separator, html, guidColumn, notetypeColumn, deckColumn, tagsColumn, columns };

// The key of a header line, written exactly as Anki writes it, and where
// its value starts.
struct KeyedLine {
    HeaderKey key;
    std::string_view value;
};

std::optional<KeyedLine> headerKeyOf(std::string_view line) {
    constexpr std::array<std::pair<std::string_view, HeaderKey>, 7> kKeys{{
        {"#separator:", HeaderKey::separator},
        {"#html:", HeaderKey::html},
        {"#guid column:", HeaderKey::guidColumn},
        {"#notetype column:", HeaderKey::notetypeColumn},
        {"#deck column:", HeaderKey::deckColumn},
        {"#tags column:", HeaderKey::tagsColumn},
        {"#columns:", HeaderKey::columns},
    }};
    for (const auto& [prefix, key] : kKeys)
        if (line.starts_with(prefix)) return KeyedLine{key, line.substr(prefix.size())};
    return std::nullopt;
}

std::string headerRefusal(std::size_t number, std::string_view line, std::string_view why) {
    return std::to_string(number) + ": the header line '" + inputExcerpt(line) + "' " + std::string(why);
}

Status readHeaderLine(std::size_t number, std::string_view line, const KeyedLine& keyed, ExportHeader& header) {
    const std::string_view value = trimmed(keyed.value);
    switch (keyed.key) {
        case HeaderKey::separator:
            // A space or a tab is its own value; trimming would lose it.
            header.separator = parseSeparatorName(value.empty() ? keyed.value : value);
            if (header.separator == 0)
                return fail(headerRefusal(number, line, "names no separator; an export names it as Tab, Comma, "
                                                        "Semicolon, Space, Pipe, Colon or the character itself"));
            return success();
        case HeaderKey::html: {
            const std::string lower = lowerTrimmed(value);
            if (lower != "true" && lower != "false")
                return fail(headerRefusal(number, line, "takes true or false"));
            header.html = lower == "true";
            return success();
        }
        case HeaderKey::columns:
            if (value.empty()) return fail(headerRefusal(number, line, "names no column"));
            return success();
        default: break;
    }
    const std::optional<std::size_t> column = columnNumber(value);
    if (!column) return fail(headerRefusal(number, line, "names no column; columns are numbered from 1"));
    auto& field = keyed.key == HeaderKey::guidColumn       ? header.guidColumn
                  : keyed.key == HeaderKey::notetypeColumn ? header.notetypeColumn
                  : keyed.key == HeaderKey::deckColumn     ? header.deckColumn
                                                           : header.tagsColumn;
    field = column;
    return success();
}

// ---------------------------------------------------------------- HTML

// The character an entity stands for ("amp", "#39", "#x3042") at the start
// of `text` (just after its '&'), and the entity's length with its ';'.
struct Entity {
    char32_t character;
    std::size_t length;
};

std::optional<Entity> numericEntity(std::string_view text) {
    const bool hex = text.size() > 1 && (text[1] == 'x' || text[1] == 'X');
    const std::size_t first = hex ? 2 : 1;
    std::size_t end = first;
    const auto isDigit = [hex](char c) { return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                                                    : std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (end < text.size() && isDigit(text[end])) ++end;
    if (end == first || end == text.size() || text[end] != ';') return std::nullopt;
    std::uint32_t value = 0;
    const auto [stop, error] = std::from_chars(text.data() + first, text.data() + end, value, hex ? 16 : 10);
    if (error != std::errc{} || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    // A no-break space is shown as a space, as &nbsp; is.
    return Entity{value == 0xA0 ? U' ' : static_cast<char32_t>(value), end + 1};
}

// The text of a named reference at the start of `text` ("hellip;..."), and
// its length with its ';'. The longest name is 32 characters.
struct NamedText {
    std::string_view text;
    std::size_t length;
};

std::optional<NamedText> namedEntity(std::string_view text) {
    constexpr std::size_t kLongestName = 32;
    const std::size_t semicolon = text.substr(0, kLongestName + 1).find(';');
    if (semicolon == std::string_view::npos || semicolon == 0) return std::nullopt;
    const std::string_view name = text.substr(0, semicolon);
    const auto found = std::lower_bound(kHtmlEntities.begin(), kHtmlEntities.end(), name,
                                        [](const NamedEntity& entity, std::string_view wanted) { return entity.name < wanted; });
    if (found == kHtmlEntities.end() || found->name != name) return std::nullopt;
    // A no-break space is shown as a space, and marks where a base starts as one does.
    return NamedText{name == "nbsp" || name == "NonBreakingSpace" ? std::string_view(" ") : found->text, semicolon + 1};
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

// ---------------------------------------------------------------- cloze

// The pieces of cloze markup: "{{c12::" opens, "::" starts a hint, "}}"
// closes. Both passes over a text cut it into the same pieces.
enum class ClozePiece { open, hint, close, character };

struct ClozeToken {
    ClozePiece piece;
    std::size_t length;
};

ClozeToken clozeTokenAt(std::string_view text, std::size_t i) {
    if (text.substr(i).starts_with("{{c")) {
        std::size_t digits = i + 3;
        while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
        if (digits > i + 3 && text.substr(digits).starts_with("::")) return {ClozePiece::open, digits + 2 - i};
    }
    if (text.substr(i).starts_with("::")) return {ClozePiece::hint, 2};
    if (text.substr(i).starts_with("}}")) return {ClozePiece::close, 2};
    return {ClozePiece::character, 1};
}

// Which opening pieces are closed: each "}}" closes the innermost open one.
std::vector<bool> closedOpenings(std::string_view text) {
    std::vector<bool> closed(text.size(), false);
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < text.size();) {
        const ClozeToken token = clozeTokenAt(text, i);
        if (token.piece == ClozePiece::open) open.push_back(i);
        if (token.piece == ClozePiece::close && !open.empty()) {
            closed[open.back()] = true;
            open.pop_back();
        }
        i += token.length;
    }
    return closed;
}

// ---------------------------------------------------------------- furigana

bool isKana(char32_t c) {
    return (c >= 0x3041 && c <= 0x309F) ||  // hiragana, sound marks, iteration marks
           (c >= 0x30A0 && c <= 0x30FF) ||  // katakana, the long vowel mark
           (c >= 0x31F0 && c <= 0x31FF) ||  // small katakana for Ainu
           (c >= 0xFF66 && c <= 0xFF9F);    // half-width katakana
}

// Where the ']' of a reading that starts at `i` is: one kana or more, then
// ']'. Nothing when another character comes first.
std::optional<std::size_t> kanaReadingEnd(std::string_view text, std::size_t i) {
    const std::size_t start = i;
    while (i < text.size()) {
        if (text[i] == ']') return i > start ? std::optional(i) : std::nullopt;
        const std::optional<Utf8Character> character = decodeUtf8(text.substr(i));
        if (!character || !isKana(character->codePoint)) return std::nullopt;
        i += character->length;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- HTML as text

// Steps over the entity or character at `i`, appending its text.
std::size_t appendCharacter(std::string_view html, std::size_t i, std::string& out) {
    if (html[i] == '&') {
        const std::string_view rest = html.substr(i + 1);
        if (rest.starts_with('#')) {
            if (const std::optional<Entity> entity = numericEntity(rest)) {
                appendUtf8(out, entity->character);
                return i + 1 + entity->length;
            }
        } else if (const std::optional<NamedText> named = namedEntity(rest)) {
            out += named->text;
            return i + 1 + named->length;
        }
    }
    out += html[i];
    return i + 1;
}

// The tag's name in lower case, with a '/' before it for a closing tag: "/rt".
std::string tagName(std::string_view tag) {
    std::string name = lowerTrimmed(tag.substr(1, tag.find_first_of(" \t\n>", 1) - 1));
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return name;
}

// A <ruby> element's inside ("<rb>漢字</rb><rt>かんじ</rt>", "漢<rt>かん</rt>字<rt>じ</rt>",
// <rp> parentheses dropped) written as `kind` says: 漢字, かんじ or 漢字(かんじ).
std::string rubyText(std::string_view inside, Furigana kind) {
    std::string out, base, reading;
    bool inReading = false, inParenthesis = false;
    const auto flush = [&] {
        if (kind != Furigana::reading || reading.empty()) out += base;
        if (kind == Furigana::reading) out += reading;
        if (kind == Furigana::both && !reading.empty()) out += "(" + reading + ")";
        base.clear();
        reading.clear();
    };
    for (std::size_t i = 0; i < inside.size();) {
        if (inside[i] == '<') {
            const std::size_t close = inside.find('>', i);
            if (close == std::string_view::npos) break;
            const std::string name = tagName(inside.substr(i, close - i + 1));
            if (name == "rt") inReading = true;
            if (name == "/rt") inReading = false;
            if (name == "rp") inParenthesis = true;
            if (name == "/rp") inParenthesis = false;
            i = close + 1;
            continue;
        }
        if (!inReading && !inParenthesis && !reading.empty()) flush();
        std::string& into = inReading ? reading : base;
        if (inParenthesis) {
            std::string dropped;
            i = appendCharacter(inside, i, dropped);
        } else {
            i = appendCharacter(inside, i, into);
        }
    }
    flush();
    return out;
}

// Where the next "</ruby" is, in any case, from `from` on.
std::size_t findRubyEnd(std::string_view html, std::size_t from) {
    for (std::size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 2))
        if (lowerTrimmed(html.substr(at, 6)) == "</ruby") return at;
    return std::string_view::npos;
}

// A field's HTML as text with a line break for each tag that ends a line or
// block, and ruby written as `kind` says; spaces not yet collapsed. Past the
// last '>' (or ']', or "</ruby") nothing can close: the search for one stops
// there instead of reading to the end again and again.
std::string htmlToLines(std::string_view html, Furigana kind) {
    const std::size_t lastTagEnd = html.rfind('>');
    const std::size_t lastBracket = html.rfind(']');
    std::size_t rubyEnd = 0;  // where the last search for "</ruby" found it (npos: nowhere past there)
    std::string out;
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c == '<' && lastTagEnd != std::string_view::npos && lastTagEnd > i) {
            const std::size_t close = html.find('>', i);
            const std::string_view tag = html.substr(i, close - i + 1);
            i = close + 1;
            if (tagName(tag) == "ruby" && rubyEnd != std::string_view::npos) {
                if (rubyEnd < i) rubyEnd = findRubyEnd(html, i);
                const std::size_t rubyClose = rubyEnd == std::string_view::npos ? rubyEnd : html.find('>', rubyEnd);
                if (rubyClose == std::string_view::npos) {
                    rubyEnd = std::string_view::npos;
                    continue;
                }
                out += rubyText(html.substr(i, rubyEnd - i), kind);
                i = rubyClose + 1;
                continue;
            }
            if (isBreakTag(tag)) out += '\n';
            continue;
        }
        if (c == '[' && lastBracket != std::string_view::npos && lastBracket > i && html.substr(i).starts_with("[sound:")) {
            i = html.find(']', i) + 1;
            continue;
        }
        i = appendCharacter(html, i, out);
    }
    return out;
}

}  // namespace

Result<ExportHeader> readExportHeader(std::string_view text) {
    ExportHeader header;
    std::size_t position = 0;
    while (position < text.size() && text[position] == '#') {
        const std::size_t end = std::min(text.find_first_of("\r\n", position), text.size());
        const std::string_view line = text.substr(position, end - position);
        const std::optional<KeyedLine> keyed = headerKeyOf(line);
        if (!keyed) break;
        position = end;
        if (position < text.size() && text[position] == '\r') ++position;
        if (position < text.size() && text[position] == '\n') ++position;
        ++header.lines;
        header.present = true;
        KVZ_TRY(readHeaderLine(header.lines, line, *keyed, header));
    }
    header.bodyStart = position;
    return header;
}

std::string htmlToText(std::string_view html) { return collapseSpaces(htmlToLines(html, Furigana::base)); }

std::string htmlFieldText(std::string_view html, Furigana kind) {
    return collapseSpaces(applyFurigana(htmlToLines(html, kind), kind));
}

std::string removeCloze(std::string_view text) {
    const std::vector<bool> closed = closedOpenings(text);
    std::string out;
    // For each closed cloze around the position: whether its hint has begun.
    std::vector<bool> inHint;
    std::size_t hints = 0;  // how many of them are in their hint
    for (std::size_t i = 0; i < text.size();) {
        const ClozeToken token = clozeTokenAt(text, i);
        const bool markup = (token.piece == ClozePiece::open && closed[i]) ||
                            (token.piece == ClozePiece::close && !inHint.empty()) ||
                            (token.piece == ClozePiece::hint && !inHint.empty() && !inHint.back());
        if (!markup) {
            if (hints == 0) out.append(text.substr(i, token.length));
        } else if (token.piece == ClozePiece::open) {
            inHint.push_back(false);
        } else if (token.piece == ClozePiece::hint) {
            inHint.back() = true;
            ++hints;
        } else {
            if (inHint.back()) --hints;
            inHint.pop_back();
        }
        i += token.length;
    }
    return out;
}

std::string applyFurigana(std::string_view text, Furigana kind) {
    std::string out;
    std::size_t baseStart = 0;  // in `out`: where a base that follows would start
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == ' ' || c == '>' || c == '\n' || c == '\t') {
            out += c;
            baseStart = out.size();
            ++i;
            continue;
        }
        const std::optional<std::size_t> close =
            c == '[' && baseStart < out.size() ? kanaReadingEnd(text, i + 1) : std::nullopt;
        if (!close) {
            out += c;
            ++i;
            continue;
        }
        // The space that marks the base's start is dropped.
        const bool spaceBefore = baseStart > 0 && out[baseStart - 1] == ' ';
        const std::string base = out.substr(baseStart);
        const std::string_view reading = text.substr(i + 1, *close - i - 1);
        out.resize(spaceBefore ? baseStart - 1 : baseStart);
        if (kind == Furigana::base) out += base;
        if (kind == Furigana::reading) out += reading;
        if (kind == Furigana::both) out += base + "(" + std::string(reading) + ")";
        baseStart = out.size();
        i = *close + 1;
    }
    return out;
}

}  // namespace kvz
