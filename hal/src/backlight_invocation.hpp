#pragma once
// What running the backlight script sends out: the script's file name and PowerShell's command
// line. Pure text, so it is tested natively; the Windows runner only passes it on.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hal/backlight.hpp"

namespace vantrel {

// The text of the backlight script, carried in the executable (generated from the script file
// at build time).
[[nodiscard]] std::string_view backlight_script_text();

// "vantrel-keyboard-{pid}.ps1".
[[nodiscard]] std::string backlight_script_file_name(std::uint32_t process_id);

// The arguments after the program name, in order; the mode as the script's "-Mode" takes it,
// "read" or "write".
[[nodiscard]] std::vector<std::string> powershell_arguments(std::string_view script_path, BacklightMode mode,
                                                            std::uint8_t level, std::string_view framework_dir);

// One argument quoted so that CommandLineToArgvW (and the C runtime) give it back unchanged.
[[nodiscard]] std::string quote_windows_argument(std::string_view argument);

// The program name followed by each argument, quoted, separated by one blank.
[[nodiscard]] std::string windows_command_line(std::string_view program, const std::vector<std::string>& arguments);

// "commande de rétroéclairage sans réponse ({n} s)".
[[nodiscard]] std::string backlight_timeout_message(std::chrono::seconds limit);

}  // namespace vantrel
