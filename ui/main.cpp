#include "ui/OrvCommandLine.h"

#include <iostream>

int main(int argc, char** argv) {
    OrvCommandLine commandLine(std::cout, std::cerr);
    return commandLine.Run(std::vector<std::string>(argv + 1, argv + argc));
}
