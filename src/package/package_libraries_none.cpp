#include "package/package_libraries.h"

namespace kvz {

std::optional<PackageLibraries> systemPackageLibraries() { return std::nullopt; }

}  // namespace kvz
