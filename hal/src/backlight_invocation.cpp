#include "hal/backlight_invocation.hpp"

namespace vantrel {

std::string backlight_script_file_name(std::uint32_t process_id) {
    return "vantrel-keyboard-" + std::to_string(process_id) + ".ps1";
}

std::vector<std::string> powershell_arguments(std::string_view script_path, BacklightMode mode,
                                              std::uint8_t level, std::string_view framework_dir) {
    const std::string_view mode_word = mode == BacklightMode::Write ? "write" : "read";
    return {"-NoProfile",          "-NonInteractive", "-ExecutionPolicy", "Bypass",
            "-File",               std::string(script_path), "-Mode",  std::string(mode_word),
            "-Level",              std::to_string(level),    "-FrameworkDir", std::string(framework_dir)};
}

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

std::string backlight_timeout_message(std::chrono::seconds limit) {
    return "commande de rétroéclairage sans réponse (" + std::to_string(limit.count()) + " s)";
}

}  // namespace vantrel
