// What flashcard exports hold besides plain text: their header lines,
// fields written as HTML, cloze markup and furigana.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvz {

// The header lines of a "Notes in Plain Text" export ("#separator:tab",
// "#html:true", "#deck column:3", ...): keys trimmed and in any case,
// unknown keys ignored. Column numbers count from 1, as written.
struct ExportHeader {
    bool present = false;      // at least one known key was given
    char32_t separator = 0;    // 0: not given
    bool html = false;
    std::optional<std::size_t> guidColumn, notetypeColumn, deckColumn, tagsColumn;
    std::size_t lines = 0;     // header and comment lines at the start (every line starting with '#')
};

// Reads the lines starting with '#' at the start of `text`.
ExportHeader readExportHeader(std::string_view text);

// A field's HTML as plain text: tags dropped (<br>, <div> and <p> as a
// space), entities decoded (&nbsp; as a space), [sound:...] dropped, runs of
// spaces and line breaks made one space, the ends trimmed.
std::string htmlToText(std::string_view html);

// Cloze markup replaced by its text: "{{c1::text}}" and
// "{{c1::text::hint}}" both give "text".
std::string removeCloze(std::string_view text);

enum class Furigana { base, reading, both };

// Furigana "漢字[かんじ]" as `kind` says: 漢字, かんじ or 漢字(かんじ). The
// base runs back to the last space, which is dropped ("世[よ]の 中[なか]" is
// 世の中), or to the end of the furigana before it.
std::string applyFurigana(std::string_view text, Furigana kind);

}  // namespace kvz
