#include "cli/kvzpack_run.h"
#include "cli/program.h"

int main(int argc, char** argv) { return kvz::runProgram("kvzpack", argc, argv, kvz::runKvzpack); }
