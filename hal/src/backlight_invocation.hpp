#pragma once
// What running the backlight script sends out: the script's file name and PowerShell's command
// line. Pure text, so it is tested natively; the Windows runner only passes it on.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hal/src/backlight.hpp"

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

// "commande de rétroéclairage sans réponse ({n} s)".
[[nodiscard]] std::string backlight_timeout_message(std::chrono::seconds limit);

}  // namespace vantrel
