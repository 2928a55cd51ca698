// kvzdeck's command line: builds a KVZ deck from its TSV text and dumps a
// KVZ deck as TSV.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "io/interruption.h"

namespace kvz {

// args[0] is the program's name. A build starts `interruptions` before it
// reads its input, and writes the deck under a temporary name registered
// there until it replaces DECK.kvz; a dump writes no file and starts
// nothing.
int runKvzdeck(std::span<const std::string> args, std::ostream& out, std::ostream& err,
               io::InterruptionWatcher& interruptions);

}  // namespace kvz
