// Entry point of the native Linux build: the arguments are UTF-8 texts; any other bytes are refused.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.hpp"
#include "cli/shipped_actions.hpp"
#include "unicode.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
        if (!vantrel::is_valid_utf8(args.back()))
            return vantrel::report_usage_error(
                std::cerr, "argument " + std::to_string(i) + " illisible : texte UTF-8 mal formé");
    }
    const int code = vantrel::run_command_line(args, vantrel::shipped_actions(), std::cout, std::cerr);
    std::cout.flush();
    return code;
}
