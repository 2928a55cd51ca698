// Anki packages in the page: the core's package reader over the libraries
// the worker loads for it (fflate, fzstd, sql.js), reached synchronously
// through the global object kvzPackageLibraries (page/worker-packages.js).
#pragma once

#include <string>

#include <emscripten/val.h>

#include "common/result.h"
#include "deck/deck_input.h"

namespace kvz::web {

// kvzdeck build's options for `options` as the page shows them: an array
// of [name] or [name, value], unquoted, in the command line's order.
emscripten::val argumentsToJs(const DeckInputOptions& options);

// What kvzdeck build reads of `bytes`: an Anki package (by its name or its
// first bytes) as the command line reads it, with the page's `deck` and
// `columns` as its --deck and --columns, or any other input through
// readDeckInput. Refuses a package when the worker has not set up its
// libraries. Once a package's collection is read, `form` becomes what the
// form beside its results shows, even when the build is then refused: its
// decks with notes (`decks`: name, notes), the note types with notes among
// those kept (`noteTypes`: name, notes, fields), the deck and columns asked
// for, and kvzdeck build's options for them (`arguments`, as a table's).
Result<DeckInput> readDeckOrPackage(const std::string& bytes, DeckInputOptions options,
                                    const emscripten::val& pageOptions, emscripten::val& form);

}  // namespace kvz::web
