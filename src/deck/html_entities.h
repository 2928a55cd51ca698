// The named character references of HTML5 ("&hellip;", "&mdash;", ...),
// as html_entities.cpp holds them (written by tools/htmlentities).
#pragma once

#include <array>
#include <string_view>

namespace kvz {

struct NamedEntity {
    std::string_view name;  // without '&' and ';'
    std::string_view text;  // UTF-8, one character or two
};

// Every reference ended by ';', sorted by name (byte order), each once.
extern const std::array<NamedEntity, 2125> kHtmlEntities;

}  // namespace kvz
