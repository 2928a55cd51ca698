// The libraries this build reads Anki packages with: libzip, libzstd and
// SQLite, all on bytes in memory (no temporary file). A build without them
// (the Windows build: Debian has no mingw-w64 builds of them) has none.
#pragma once

#include <optional>

#include "deck/anki_package.h"

namespace kvz {

// The system's libraries behind PackageLibraries, or nothing where this
// build was made without them.
std::optional<PackageLibraries> systemPackageLibraries();

}  // namespace kvz
