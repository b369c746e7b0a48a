// The backlight script run on Windows: written, run by Windows PowerShell, deleted, its record read.
#include <windows.h>

#include <chrono>
#include <string>
#include <utility>

#include "hal/src/backlight.hpp"
#include "hal/src/backlight_invocation.hpp"
#include "hal/src/backlight_script_file_win32.hpp"
#include "src/util/executable_path_win32.hpp"
#include "hal/src/powershell_runner_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unicode.hpp"
#include "src/util/unique_resource.hpp"

namespace vantrel {

namespace {

// The directory of the running executable joined with "framework"; empty when it is unknown.
std::string framework_directory() {
    const auto directory = win32::executable_directory();
    if (!directory || directory->empty()) return {};
    return win32::to_utf8(*directory + L"framework").value_or(std::string());
}

// Writes the script, runs it, and deletes it whatever happened: the file exists for this run only.
std::expected<ProcessOutcome, HalError> run_script_file(const std::wstring& script_path, const std::wstring& program,
                                                        BacklightMode mode, std::uint8_t level,
                                                        std::chrono::seconds limit) {
    const ScopeExit delete_script([&script_path] { DeleteFileW(script_path.c_str()); });
    if (auto written = write_backlight_script(script_path, backlight_script_text()); !written) {
        return std::unexpected(std::move(written.error()));
    }
    return run_powershell(program,
                          powershell_arguments(win32::to_utf8(script_path).value_or(std::string()), mode, level,
                                               framework_directory()),
                          limit);
}

}  // namespace

std::expected<KeyboardState, HalError> run_backlight_script(BacklightMode mode, std::uint8_t level,
                                                            const BacklightScriptSettings& settings) {
    const auto script_path = backlight_script_path();
    if (!script_path) return std::unexpected(script_path.error());
    std::wstring program = win32::to_utf16(settings.powershell_program);
    if (program.empty()) {
        auto system = system_powershell();
        if (!system) return std::unexpected(std::move(system.error()));
        program = std::move(*system);
    }
    const auto outcome = run_script_file(*script_path, program, mode, level, settings.time_limit);
    if (!outcome) return std::unexpected(outcome.error());
    if (outcome->exit_code != 0) return std::unexpected(HalError::unavailable("commande de rétroéclairage en échec"));
    return interpret_backlight_output(decode_utf8_lossy(outcome->standard_output), mode);
}

}  // namespace vantrel
