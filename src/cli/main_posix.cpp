// Entry point of the native Linux build: the arguments are UTF-8 texts; any other bytes are refused.
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "src/cli/command_line.hpp"
#include "src/cli/shipped_actions.hpp"
#include "src/cli/standard_stream_posix.hpp"
#include "src/util/unicode.hpp"

int main(int argc, char** argv) {
    // Our own buffers, which keep the system's reason when a write fails (a full disk).
    vantrel::FileDescriptorStreamBuf out_buf(STDOUT_FILENO);
    vantrel::FileDescriptorStreamBuf err_buf(STDERR_FILENO);
    std::ostream out(&out_buf);
    std::ostream err(&err_buf);
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            args.emplace_back(argv[i]);
            if (!vantrel::is_valid_utf8(args.back()))
                return vantrel::report_usage_error(
                    err, "argument " + std::to_string(i) + " illisible : texte UTF-8 mal formé");
        }
        return vantrel::run_command_line(args, vantrel::shipped_actions(), out, err);
    } catch (...) {
        return vantrel::report_escaped_exception(err);
    }
}
