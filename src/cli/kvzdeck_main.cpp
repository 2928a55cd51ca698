#include "cli/kvzdeck.h"
#include "cli/program.h"

int main(int argc, char** argv) { return kvz::runProgram("kvzdeck", argc, argv, kvz::runKvzdeck); }
