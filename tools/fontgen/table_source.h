// Writes a font table as a C++ source file of constant data.
#pragma once

#include <string>

#include "font_tables.h"

namespace fontgen {

// `origin` names the table's source for the generated-file header line.
void writeTableSource(const std::string& path, const FontTable& table, const std::string& origin);

}  // namespace fontgen
