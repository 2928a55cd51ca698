// A deck's TSV text built into KVZ records: every line checked, every
// refusal, warning and change noted with its line's number.
#include "deck/deck.h"
#include "deck/deck_internal.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "common/text.h"
#include "deck/cp932.h"
#include "deck/utf8.h"
#include "glyph/glyph.h"
#include "input/kvz.h"

namespace kvz {
namespace {

using deck_internal::appendRawBytes;
using deck_internal::Bytes;
using deck_internal::encodeCharacter;
using deck_internal::hexByte;
using deck_internal::kEmptyCellShown;

constexpr std::uint16_t kMaxEntries = 0xFFFF;

// The texts of one record slot: its name in messages, width, and whether it
// is stored inverted (an entry field) or as it is (a group name).
struct FieldKind {
    std::string_view label;
    std::size_t width;
    bool inverted;
};
constexpr FieldKind kGroupName{"group name", kGroupNameWidth, false};
constexpr std::array<FieldKind, kFieldsPerEntry> kEntryFields{{
    {kFieldNames[0], kEntryFieldLayout[0].width, true},
    {kFieldNames[1], kEntryFieldLayout[1].width, true},
    {kFieldNames[2], kEntryFieldLayout[2].width, true},
    {kFieldNames[3], kEntryFieldLayout[3].width, true},
    {kFieldNames[4], kEntryFieldLayout[4].width, true},
    {kFieldNames[5], kEntryFieldLayout[5].width, true},
}};

std::string codePointName(char32_t codePoint) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "U+%04X", static_cast<unsigned>(codePoint));
    return text.data();
}

std::optional<int> hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}


// Why a text would not read back from its field as written, if it would not.
std::optional<std::string> readBackProblem(const Bytes& text, const FieldKind& kind) {
    std::vector<std::uint8_t> stored;
    appendStoredField(stored, text, kind.width, kind.inverted);
    if (storedFieldText(stored, kind.inverted) == text) return std::nullopt;

    for (std::size_t position = 0; position < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[position]);
        if (byte == fieldTerminator(kind.inverted)) {
            return !kind.inverted
                       ? std::string("holds a space, which ends a group name; leave it out, or write a full-width "
                                     "space (U+3000) instead")
                       : "holds the byte 0xA0, which ends an entry field";
        }
        if (isKanji(byte) && position + 1 == text.size()) {
            return "ends in the lone lead byte 0x" + hexByte(byte) +
                   ", which would take the padding as its second byte";
        }
        position += isKanji(byte) ? 2 : 1;
    }
    return std::string("would not read back as written");
}


// A field's Shift_JIS bytes, each marked when it was written as \xHH.
// The most characters with no Shift_JIS form that a refusal names in one field.
constexpr std::size_t kMissingNamed = 5;

struct UnescapedText {
    Bytes bytes;
    std::vector<bool> rawByte;
    // The characters with no Shift_JIS form, each once, as messages name
    // them ("'😀' (U+1F600)"); each holds the place of its two bytes.
    std::vector<std::string> missing;
    std::size_t missingCount = 0;

    void append(char byte, bool raw) {
        bytes += byte;
        rawByte.push_back(raw);
    }
    void append(const Bytes& characters) {
        bytes += characters;
        rawByte.resize(bytes.size(), false);
    }
};

// A lead byte followed by a byte that is no trail byte: no Shift_JIS
// character, and the device draws it with the glyph of another. Written
// with two \xHH escapes it is taken as meant, with a warning; any other way
// (a lead byte's escape, then a letter or a tab) it is refused.
struct StrayLeadByte {
    std::size_t at;
    bool meant;
};

std::vector<StrayLeadByte> findStrayLeadBytes(const UnescapedText& text) {
    std::vector<StrayLeadByte> strays;
    for (std::size_t i = 0; i + 1 < text.bytes.size();) {
        if (!isKanji(static_cast<std::uint8_t>(text.bytes[i]))) {
            ++i;
            continue;
        }
        if (!isTrailByte(static_cast<std::uint8_t>(text.bytes[i + 1])))
            strays.push_back(StrayLeadByte{i, text.rawByte[i] && text.rawByte[i + 1]});
        i += 2;
    }
    return strays;
}

std::string ordinal(std::size_t n) {
    const std::size_t tens = n % 100;
    const char* suffix = tens >= 11 && tens <= 13 ? "th" : n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

// The UTF-8 form of Shift_JIS bytes for a message: characters as they are,
// other bytes as \xHH.
std::string readableText(std::string_view sjis) {
    std::string out;
    for (std::size_t i = 0; i < sjis.size();) {
        const std::size_t length = isKanji(static_cast<std::uint8_t>(sjis[i])) && i + 1 < sjis.size() ? 2 : 1;
        const std::optional<char32_t> character = cp932ToUnicode(sjis.substr(i, length));
        if (character && *character >= 0x20) {
            appendUtf8(out, *character);
        } else {
            appendRawBytes(out, sjis.substr(i, length));
        }
        i += length;
    }
    return out;
}

// Where a text that is too long may be cut: the longest run of whole
// characters that fits `width`.
std::size_t cutPoint(std::string_view sjis, std::size_t width) {
    std::size_t end = 0;
    while (end < sjis.size()) {
        const std::size_t length = isKanji(static_cast<std::uint8_t>(sjis[end])) ? 2 : 1;
        if (end + length > width) break;
        end += length;
    }
    return end;
}

class DeckBuilder {
public:
    explicit DeckBuilder(const DeckFixes& fixes) : fixes_(fixes) {}
    Status addLine(std::string_view line);
    Result<std::vector<std::uint8_t>> finish() const;
    // The warnings about the lines added since the last call.
    std::vector<std::string> takeWarnings() { return std::exchange(warnings_, {}); }
    // The changes made to the lines added since the last call.
    std::vector<std::string> takeChanges() { return std::exchange(changes_, {}); }
    std::size_t cutFields() const { return cutFields_; }
    std::size_t replacedCharacters() const { return replacedCharacters_; }
    std::size_t entries() const { return entries_; }

private:
    Result<Bytes> fieldText(std::string_view field, const FieldKind& kind);
    Result<UnescapedText> unescape(std::string_view field, const FieldKind& kind);
    Status checkTrailBytes(const UnescapedText& text, const std::string& label);
    Status addGroup(std::string_view field);
    Status addEntry(const std::vector<std::string_view>& fields);

    struct Group {
        Bytes name;
        std::vector<std::array<Bytes, kFieldsPerEntry>> entries;
    };
    Result<Bytes> cutToWidth(Bytes text, const FieldKind& kind);
    void warnOfMissingGlyphs(const Bytes& text, const std::string& label);
    std::optional<Bytes> replacementFor(std::string_view utf8, char32_t codePoint, const std::string& label);

    DeckFixes fixes_;
    std::vector<Group> groups_;
    std::size_t groupLines_ = 0;
    static constexpr std::size_t kMissingGlyphsTold = 10;
    std::size_t missingGlyphs_ = 0;
    std::vector<bool> glyphChecked_ = std::vector<bool>(1 << 16, false);  // by code, once told or found drawn
    std::vector<std::string> warnings_;
    std::vector<std::string> changes_;
    std::size_t cutFields_ = 0;
    std::size_t replacedCharacters_ = 0;
    std::size_t entries_ = 0;  // of every group
};

Status DeckBuilder::addLine(std::string_view line) {
    if (line.empty() || line.front() == '#') return success();
    const std::vector<std::string_view> fields = splitAt(line, '\t');
    if (fields.size() == 1) return addGroup(fields.front());
    if (fields.size() == kFieldsPerEntry) return addEntry(fields);
    return fail(std::to_string(fields.size()) +
                " tab-separated fields; a group name line has 1, an entry line 6");
}

Status DeckBuilder::addGroup(std::string_view field) {
    ++groupLines_;
    if (groups_.size() == kGroupCount) {
        return fail("a " + ordinal(groupLines_) +
                    " group name; a deck has exactly 8 groups: join groups, or make a second deck");
    }
    Result<Bytes> name = fieldText(field, kGroupName);
    // A refused name still starts its group, so that its entries are
    // checked as entries of that group.
    groups_.push_back(Group{name ? *name : Bytes{}, {}});
    KVZ_TRY(name);
    return success();
}

Status DeckBuilder::addEntry(const std::vector<std::string_view>& fields) {
    if (groups_.empty())
        return fail("an entry before the first group name; put a group name (a line with no tab) before it");
    Group& group = groups_.back();
    if (group.entries.size() == kMaxEntries) {
        return fail("group " + std::to_string(groups_.size() - 1) + " has more than 65535 entries");
    }
    std::array<Bytes, kFieldsPerEntry> entry;
    std::string problems;  // of every field
    for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
        Result<Bytes> text = fieldText(fields[f], kEntryFields[f]);
        if (!text) {
            if (!problems.empty()) problems += "; also ";
            problems += text.reason();
            continue;
        }
        entry[f] = std::move(*text);
    }
    if (!problems.empty()) return fail(problems);
    group.entries.push_back(std::move(entry));
    ++entries_;
    return success();
}

Status DeckBuilder::checkTrailBytes(const UnescapedText& text, const std::string& label) {
    const std::vector<StrayLeadByte> strays = findStrayLeadBytes(text);
    std::vector<std::string> warnings;
    for (const StrayLeadByte& stray : strays) {
        const auto lead = static_cast<std::uint8_t>(text.bytes[stray.at]);
        const auto next = static_cast<std::uint8_t>(text.bytes[stray.at + 1]);
        if (!stray.meant) {
            return fail(label + ": the lead byte 0x" + hexByte(lead) + " is followed by 0x" + hexByte(next) +
                        ", which is no Shift_JIS trail byte; write both as \\x" + hexByte(lead) + "\\x" +
                        hexByte(next) + " if the code is meant");
        }
        warnings.push_back("warning: " + label + ": " + formatCharCode({lead, next}) + " is not Shift_JIS; " +
                           describeGlyphShownFor({lead, next}));
    }
    warnings_.insert(warnings_.end(), warnings.begin(), warnings.end());
    return success();
}

// "short field 1: '😀' (U+1F600) has no Shift_JIS form; ...", naming each
// such character of the field (the first kMissingNamed).
std::string noShiftJisReason(const std::string& label, const UnescapedText& text) {
    std::string named;
    for (const std::string& character : text.missing) {
        if (!named.empty()) named += ", ";
        named += character;
    }
    if (text.missingCount > text.missing.size())
        named += " and " + std::to_string(text.missingCount - text.missing.size()) + " more";
    if (text.missingCount == 1) {
        return label + ": " + named + " has no Shift_JIS form; write another character, or build with --replace=〓 "
               "to put 〓 (or the character given) in its place";
    }
    return label + ": " + named + " have no Shift_JIS form; write other characters, or build with --replace=〓 to "
           "put 〓 (or the character given) in their place";
}

// A field's text, or every problem it has: each character with no
// Shift_JIS form and its length, or the first other problem.
Result<Bytes> DeckBuilder::fieldText(std::string_view field, const FieldKind& kind) {
    Result<UnescapedText> unescaped = unescape(field, kind);
    KVZ_TRY(unescaped);
    const Bytes& text = unescaped->bytes;
    const std::string label(kind.label);
    if (text.empty()) return fail(label + " is empty; fill it in (the device cannot show an empty text)");
    std::string problems = unescaped->missingCount > 0 ? noShiftJisReason(label, *unescaped) : "";
    if (text.size() > kind.width) {
        Result<Bytes> cut = cutToWidth(text, kind);
        if (!cut) {
            if (!problems.empty()) problems += "; also ";
            problems += cut.reason();
        } else {
            unescaped->bytes = std::move(*cut);
            unescaped->rawByte.resize(unescaped->bytes.size());
        }
    }
    if (!problems.empty()) return fail(problems);
    if (const std::size_t zero = text.find('\0'); zero != Bytes::npos) {
        return fail(label + (zero == 0 ? " starts with a zero byte, which reads as an empty text"
                                       : " holds a zero byte, which would end the text there on the device"));
    }
    if (std::optional<std::string> problem = readBackProblem(text, kind)) {
        return fail(label + " " + *problem);
    }
    KVZ_TRY(checkTrailBytes(*unescaped, label));
    warnOfMissingGlyphs(text, label);
    return text;
}

// The first use of each CP932 character that the device has no glyph for,
// as kvzpack will find it after normalisation (spaces are drawn empty on
// purpose; codes that are not Shift_JIS are told by checkTrailBytes).
void DeckBuilder::warnOfMissingGlyphs(const Bytes& text, const std::string& label) {
    std::vector<std::uint8_t> normalised;
    replaceChar(normalised, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    for (std::size_t i = 0; i < normalised.size() && normalised[i] != 0;) {
        const bool pair = isKanji(normalised[i]) && i + 1 < normalised.size() && normalised[i + 1] != 0;
        const CharCode code{normalised[i], pair ? normalised[i + 1] : std::uint8_t{0}};
        i += pair ? 2 : 1;
        const auto index = static_cast<std::size_t>(code[0] << 8 | code[1]);
        if (glyphChecked_[index]) continue;
        glyphChecked_[index] = true;
        const bool space = code == CharCode{0x20, 0x00} || code == CharCode{0x81, 0x40};
        const bool notShiftJis = pair && !isTrailByte(code[1]);
        if (space || notShiftJis || selectGlyph(code) != GlyphCell{}) continue;
        // Codes with no character (user-defined, unassigned) are written as
        // \xHH on purpose; kvzpack still names them.
        const std::string named = describeCharacterAndCode(code);
        if (named == formatCharCode(code)) continue;
        if (++missingGlyphs_ > kMissingGlyphsTold) {
            if (missingGlyphs_ == kMissingGlyphsTold + 1)
                warnings_.push_back("warning: " + label + ": no glyph for " + named +
                                    ", nor for more characters after it; kvzpack names each of them");
            continue;
        }
        warnings_.push_back("warning: " + label + ": no glyph for " + named + "; " + std::string(kEmptyCellShown));
    }
}

Result<Bytes> DeckBuilder::cutToWidth(Bytes text, const FieldKind& kind) {
    const std::string label(kind.label);
    if (!fixes_.cut) {
        return fail(label + " is " + std::to_string(text.size()) + " bytes in Shift_JIS, the field holds " +
                    std::to_string(kind.width) + "; shorten it (a kanji or kana takes 2 bytes), or build with --cut");
    }
    const std::size_t end = cutPoint(text, kind.width);
    // A Shift_JIS character takes two bytes at most: four for each character
    // quoted are more than the message shows.
    const std::string_view dropped = std::string_view(text).substr(end, 4 * kExcerptCharacters);
    changes_.push_back(label + ": cut to " + std::to_string(end) + " bytes, dropping '" +
                       inputExcerpt(readableText(dropped)) + "'");
    ++cutFields_;
    text.resize(end);
    return text;
}

std::optional<Bytes> DeckBuilder::replacementFor(std::string_view utf8, char32_t codePoint, const std::string& label) {
    if (!fixes_.replacement) return std::nullopt;
    std::optional<Bytes> replacement = encodeCharacter(*fixes_.replacement);
    if (!replacement) return std::nullopt;
    std::string change = label + ": '" + std::string(utf8) + "' (" + codePointName(codePoint) + ") replaced by '";
    appendUtf8(change, *fixes_.replacement);
    changes_.push_back(change + "'");
    ++replacedCharacters_;
    return replacement;
}

Result<UnescapedText> DeckBuilder::unescape(std::string_view field, const FieldKind& kind) {
    const std::string label(kind.label);
    if (field == "\\e") return UnescapedText{};
    UnescapedText text;
    for (std::size_t i = 0; i < field.size();) {
        if (field[i] == '\\') {
            if (i + 1 == field.size()) return fail(label + " ends in a lone backslash (write \\\\)");
            const char code = field[i + 1];
            if (code == '\\' || code == '#') {
                text.append(code, false);
            } else if (code == 't') {
                text.append('\t', false);
            } else if (code == 'x') {
                const auto high = i + 2 < field.size() ? hexDigit(field[i + 2]) : std::nullopt;
                const auto low = i + 3 < field.size() ? hexDigit(field[i + 3]) : std::nullopt;
                if (!high || !low) return fail(label + ": \\x needs two hexadecimal digits");
                text.append(static_cast<char>(*high * 16 + *low), true);
                i += 2;
            } else if (code == 'e') {
                return fail(label + ": \\e (an empty text) must be the whole field");
            } else {
                // The whole character after the backslash, not the first byte of it.
                const std::optional<Utf8Character> escaped = decodeUtf8(field.substr(i + 1));
                return fail(label + ": unknown escape \\" + inputExcerpt(field.substr(i + 1, escaped ? escaped->length : 1)));
            }
            i += 2;
            continue;
        }
        const std::optional<Utf8Character> decoded = decodeUtf8(field.substr(i));
        if (!decoded) {
            return fail(label + ": invalid UTF-8 (byte 0x" + hexByte(static_cast<std::uint8_t>(field[i])) +
                        "); save the file as UTF-8 (kvzdeck also reads UTF-16 with a byte order mark and CP932)");
        }
        const std::string_view utf8 = field.substr(i, decoded->length);
        std::optional<Bytes> sjis = encodeCharacter(decoded->codePoint);
        if (!sjis) sjis = replacementFor(utf8, decoded->codePoint, label);
        if (!sjis) {
            std::string named = "'";
            named.append(utf8).append("' (").append(codePointName(decoded->codePoint)).append(")");
            if (std::find(text.missing.begin(), text.missing.end(), named) == text.missing.end()) {
                ++text.missingCount;
                if (text.missing.size() < kMissingNamed) text.missing.push_back(named);
            }
            sjis = Bytes("\x81\x40");
        }
        text.append(*sjis);
        i += decoded->length;
    }
    return text;
}

Result<std::vector<std::uint8_t>> DeckBuilder::finish() const {
    if (groups_.size() != kGroupCount) {
        return fail("the deck has " + std::to_string(groups_.size()) +
                    " group names; it needs exactly 8, and a group may have no entries: add " +
                    std::to_string(kGroupCount - groups_.size()) +
                    (kGroupCount - groups_.size() == 1 ? " more group name line" : " more group name lines"));
    }
    std::vector<std::uint8_t> kvz;
    for (const Group& group : groups_)
        appendGroupRecord(kvz, group.name, static_cast<std::uint16_t>(group.entries.size()));
    for (const Group& group : groups_)
        for (const auto& entry : group.entries) appendEntryRecord(kvz, entry);
    return kvz;
}


constexpr const char* kCrAlone =
    "the lines end in CR alone, as in old Mac OS texts; kvzdeck reads lines that end in LF or CR LF: convert "
    "them first, e.g. with tr '\\r' '\\n' <old.tsv >new.tsv";

// Why a line, its LF or CR LF end taken off, still holds a carriage return.
std::string strayCarriageReturn(std::string_view line) {
    if (line.ends_with('\r'))
        return "the line ends in CR CR LF, which would keep a carriage return (0x0D) at the end of its last text; "
               "end lines in LF or CR LF, and write \\x0D where the byte is meant";
    return "a carriage return (0x0D) inside the line; lines end in LF or CR LF, and \\x0D writes the byte where "
           "it is meant";
}


}  // namespace

Failure kvzDeckGivenAsText() { return fail("is a KVZ deck already, not a text", FailureKind::notADeck); }

bool looksLikeKvz(std::string_view file) {
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    return !bytes.empty() && bytes.size() % kRecordSize == 0 && checkKvzRecords(bytes).ok();
}

Result<DeckCheck> checkDeck(std::string_view tsv, const DeckFixes& fixes) {
    const std::string_view whole = tsv;
    if (tsv.starts_with("\xEF\xBB\xBF")) tsv.remove_prefix(3);  // byte order mark
    DeckCheck check;
    const auto refuse = [&check](std::size_t line, std::string reason) {
        if (check.problems.size() < kProblemsListed) check.problems.push_back(DeckMessage{line, std::move(reason)});
        ++check.problemCount;
    };
    if (tsv.find('\n') == std::string_view::npos && tsv.find('\r') != std::string_view::npos) {
        refuse(1, kCrAlone);
        tsv = {};
    }
    DeckBuilder builder(fixes);
    std::size_t number = 0;
    while (!tsv.empty()) {
        ++number;
        const std::size_t end = tsv.find('\n');
        std::string_view line = tsv.substr(0, end);
        tsv.remove_prefix(end == std::string_view::npos ? tsv.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::size_t entriesBefore = builder.entries();
        Status added = line.find('\r') == std::string_view::npos ? builder.addLine(line) : fail(strayCarriageReturn(line));
        if (!added) refuse(number, added.reason());
        if (builder.entries() > entriesBefore) check.entryLines.push_back(number);
        for (std::string& warning : builder.takeWarnings()) check.warnings.push_back(DeckMessage{number, std::move(warning)});
        for (std::string& change : builder.takeChanges()) check.changes.push_back(DeckMessage{number, std::move(change)});
    }
    check.cutFields = builder.cutFields();
    check.replacedCharacters = builder.replacedCharacters();
    if (check.problemCount == 0) {
        auto kvz = builder.finish();
        if (kvz) {
            check.kvz = std::move(kvz.value());
        } else {
            refuse(std::max<std::size_t>(number, 1), kvz.reason());
        }
    }
    // Whatever the reason a KVZ deck is refused for, it is told as one.
    if (check.problemCount > 0 && looksLikeKvz(whole))
        return kvzDeckGivenAsText();
    return check;
}

Result<BuiltDeck> buildDeck(std::string_view tsv) {
    Result<DeckCheck> check = checkDeck(tsv, DeckFixes{});
    KVZ_TRY(check);
    if (!check->problems.empty()) {
        const DeckMessage& first = check->problems.front();
        return fail(std::to_string(first.line) + ": " + first.text);
    }
    BuiltDeck built{std::move(check->kvz), {}};
    for (DeckMessage& warning : check->warnings)
        built.warnings.push_back(std::to_string(warning.line) + ": " + std::move(warning.text));
    return built;
}

Result<std::vector<std::uint8_t>> buildKvz(std::string_view tsv) {
    auto built = buildDeck(tsv);
    KVZ_TRY(built);
    return std::move(built->kvz);
}

std::string describeBuildRefusal(std::string_view file, const Failure& failure) {
    const std::string name(file);
    if (failure.kind == FailureKind::notADeck)
        return name + ": " + failure.reason + ": convert it with 'kvzpack " + name + "', or write it as text with 'kvzdeck dump " +
               name + "'";
    const bool numbered = !failure.reason.empty() && failure.reason.front() >= '0' && failure.reason.front() <= '9';
    return name + (numbered ? ":" : ": ") + failure.reason;
}

}  // namespace kvz
