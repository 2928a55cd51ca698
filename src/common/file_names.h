// A file's name taken apart the one way every program and the page take it:
// its last name, its stem (what NAME.ihx, NAME.txt and NAME.log are named
// after) and its extension. A name starts after the last '/' or '\\' (a
// backslash separates folders on Windows and has no place in a deck's name
// elsewhere); its extension is its last '.' and what follows, also where the
// name starts with that '.'.
#pragma once

#include <string>
#include <string_view>

#include "common/text.h"

namespace kvz {

// Where the last name of `path` starts: just after its last '/' or '\\', or 0.
inline std::size_t fileNameStartOf(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

// Where the extension of `path` starts, or its size when it has none.
inline std::size_t extensionStartOf(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string_view::npos || dot < fileNameStartOf(path) ? path.size() : dot;
}

// The path without its extension, its folders kept: "dir.old/deck.kvz" is
// "dir.old/deck", ".profile" is "".
inline std::string fileStem(std::string_view path) { return std::string(path.substr(0, extensionStartOf(path))); }

// The last name without its extension: "dir/deck.kvz" is "deck".
inline std::string fileStemName(std::string_view path) {
    const std::size_t start = fileNameStartOf(path);
    return std::string(path.substr(start, extensionStartOf(path) - start));
}

// The extension with its dot, in lower case and without surrounding spaces:
// "Deck.CSV" is ".csv"; "" for a name without one.
inline std::string fileExtension(std::string_view path) { return lowerTrimmed(path.substr(extensionStartOf(path))); }

// True for the name of an image's text: NAME.ihx or NAME.hex, in any case.
inline bool isImageFileName(std::string_view path) {
    const std::string extension = fileExtension(path);
    return extension == ".ihx" || extension == ".hex";
}

}  // namespace kvz
