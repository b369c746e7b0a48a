#include "hal/src/backlight_invocation.hpp"

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

std::string backlight_timeout_message(std::chrono::seconds limit) {
    return "commande de rétroéclairage sans réponse (" + std::to_string(limit.count()) + " s)";
}

}  // namespace vantrel
