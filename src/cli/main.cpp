#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/checked_output.h"
#include "cli/driver.h"
#include "cli/interruption.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    kvz::InterruptionWatcher interruptions;
    kvz::CheckedOutputBuffer standardOutput(STDOUT_FILENO);
    std::ostream out(&standardOutput);
    const std::vector<std::string> args(argv, argv + argc);
    int status = kvz::runKvzpack(args, out, std::cerr, interruptions.temporaries());
    if (const int error = standardOutput.finish(); error != 0) {
        std::cerr << "kvzpack: cannot write to standard output: " << std::strerror(error) << '\n';
        if (status == kvz::kExitSuccess) status = kvz::kExitFailure;
    }
    return status;
}
