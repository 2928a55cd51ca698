// What flashcard exports hold besides plain text: their header lines,
// fields written as HTML, cloze markup and furigana.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace kvz {

// The header lines of a "Notes in Plain Text" export ("#separator:tab",
// "#html:true", "#deck column:3", ...): the lines at the start that begin
// with one of the keys Anki writes, exactly so ("#separator:", "#html:",
// "#guid column:", "#notetype column:", "#deck column:", "#tags column:",
// "#columns:"), each ended by LF, CR LF or CR. A "# separator: tab"
// comment is no header line, and neither is any line after it: the first
// line without a key is the first row. Column numbers count from 1, as
// written.
struct ExportHeader {
    bool present = false;      // the text starts with a header key
    char32_t separator = 0;    // 0: not given
    bool html = false;
    std::optional<std::size_t> guidColumn, notetypeColumn, deckColumn, tagsColumn;
    std::size_t lines = 0;     // header lines at the start
    std::size_t bodyStart = 0; // where the line after them starts
};

// Reads the header lines at the start of `text`. Every one must have a
// value of its kind: a separator's name or character, true or false, a
// column number from 1, a non-empty list of columns; a line that has not
// is refused, "2: the header line '#deck column:0' ...". Without a header
// key at the start, `present` is false and the body is the whole text.
Result<ExportHeader> readExportHeader(std::string_view text);

enum class Furigana { base, reading, both };

// A field's HTML as plain text: tags dropped (<br>, <div>, <p> and <li> as
// a space), ruby as its base, entities decoded (every named reference of
// HTML5, numeric ones, &nbsp; as a space), [sound:...] dropped, runs of
// spaces and line breaks made one space, the ends trimmed.
std::string htmlToText(std::string_view html);

// htmlToText with the furigana as `kind` says: ruby
// ("<ruby><rb>漢字</rb><rt>かんじ</rt></ruby>") and the bracket form alike.
// A tag that ends a line or block marks where a base starts, and stays a
// space: only a literal space or &nbsp; before a base is dropped with it
// ("食べる[たべる]<br>飲[の]む" gives 食べる 飲む). Linear in the text.
std::string htmlFieldText(std::string_view html, Furigana kind);

// Cloze markup replaced by its text: "{{c1::text}}" and
// "{{c1::text::hint}}" both give "text", nested markup too
// ("{{c1::日本{{c2::語}}です}}" gives 日本語です). Markup never closed, and a
// "}}" that closes nothing, stay as written. Linear in the text.
std::string removeCloze(std::string_view text);

// Furigana "漢字[かんじ]" as `kind` says: 漢字, かんじ or 漢字(かんじ). The
// base runs back to the last space, which is dropped ("世[よ]の 中[なか]" is
// 世の中), to the last line break, tab or '>', which stay, or to the end of
// the furigana before it. A reading is kana
// (hiragana, katakana, half-width katakana, the long vowel mark); a bracket
// that holds anything else ("arr[i]", "H2O[aq]") is kept as written, and so
// is one with no base before it. Linear in the text.
std::string applyFurigana(std::string_view text, Furigana kind);

}  // namespace kvz
