#include <iostream>
#include <string>
#include <vector>

#include "cli/driver.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv, argv + argc);
    return kvz::runKvzpack(args, std::cout, std::cerr);
}
