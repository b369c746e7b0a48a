#include "src/util/windows_command_line.hpp"

namespace vantrel {

std::string quote_windows_argument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(argument);
    }
    // Backslashes are literal except before a quote: a run of them before a quote (or before the
    // closing quote) is doubled, and the quote itself is escaped.
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string windows_command_line(std::string_view program, const std::vector<std::string>& arguments) {
    std::string line = quote_windows_argument(program);
    for (const auto& argument : arguments) {
        line += ' ';
        line += quote_windows_argument(argument);
    }
    return line;
}

}  // namespace vantrel
