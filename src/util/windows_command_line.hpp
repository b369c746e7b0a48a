#pragma once
// A Windows command line built from separate arguments, for CreateProcessW: each argument quoted
// so that the child's CommandLineToArgvW (and its C runtime) splits the line back into the same
// arguments.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// One argument quoted so that CommandLineToArgvW (and the C runtime) give it back unchanged.
[[nodiscard]] std::string quote_windows_argument(std::string_view argument);

// The program name followed by each argument, quoted, separated by one blank.
[[nodiscard]] std::string windows_command_line(std::string_view program, const std::vector<std::string>& arguments);

}  // namespace vantrel
