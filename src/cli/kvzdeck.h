// kvzdeck's command line: builds a KVZ deck from its TSV text and dumps a
// KVZ deck as TSV.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "io/temporary.h"

namespace kvz {

// args[0] is the program's name. The deck being built is written under a
// temporary name registered in `temporaries` until it replaces DECK.kvz.
int runKvzdeck(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               io::TemporaryFiles& temporaries);

}  // namespace kvz
