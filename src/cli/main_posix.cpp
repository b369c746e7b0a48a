// Entry point of the native Linux build: the arguments are taken as the UTF-8 texts they are.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.hpp"
#include "cli/shipped_actions.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const int code = vantrel::run_command_line(args, vantrel::shipped_actions(), std::cout, std::cerr);
    std::cout.flush();
    return code;
}
