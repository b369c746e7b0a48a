#pragma once
// The keyboard backlight as this process reaches it: the embedded PowerShell script run here, and
// the reading of its one-line result record. Who calls it (the service for a pipe request, or a
// user's command when no service answers) is the caller's business.

#include <chrono>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "hal/src/hal_error.hpp"

namespace vantrel {

// What a backlight operation does. The script's "-Mode" argument and the pipe request spell it in
// words of their own; inside the program it is this.
enum class BacklightMode : std::uint8_t { Read, Write };

// The highest level any back end has.
inline constexpr std::uint8_t MAX_BACKLIGHT_LEVEL = 2;

// A wanted level as the backlight takes it: anything above the highest level is the highest. The
// one place a level is limited: where a wanted level comes in (a pipe request, the command line).
[[nodiscard]] constexpr std::uint8_t limit_backlight_level(std::uint64_t wanted) {
    return static_cast<std::uint8_t>(wanted < MAX_BACKLIGHT_LEVEL ? wanted : MAX_BACKLIGHT_LEVEL);
}

// The back end that answered; the order is also its numbering.
enum class BacklightSource : std::uint8_t { Hid = 0, LenovoWmi = 1, ThinkpadPm = 2, Framework = 3 };

// "hid", "lenovo-wmi", "thinkpad-pm" or "framework".
[[nodiscard]] std::string_view source_name(BacklightSource source);

struct KeyboardState {
    bool known;                 // the level was read from the device
    BacklightSource source;
    std::uint8_t level;         // 0 to 2, never above max_level
    std::uint8_t max_level;     // 1 or 2

    friend bool operator==(const KeyboardState&, const KeyboardState&) = default;
};

// How the script is run. The defaults are the product's; tests point the runner at a stand-in
// PowerShell and shorten the bound.
struct BacklightScriptSettings {
    // Absolute path of the PowerShell program; empty means Windows PowerShell in the system
    // directory. Never a bare name: the service runs as LocalSystem, and the program search looks
    // first in the executable's own folder, where whoever can write would run code with its rights.
    std::string powershell_program;
    // Bounds the PowerShell run: a back end that hangs must not hold the service for ever.
    std::chrono::seconds time_limit{60};
};

// Writes the script, runs it with `mode` and `level` (0 to MAX_BACKLIGHT_LEVEL), deletes it, and
// reads its result record.
[[nodiscard]] std::expected<KeyboardState, HalError> run_backlight_script(BacklightMode mode, std::uint8_t level,
                                                                          const BacklightScriptSettings& settings = {});

// Turns the script's one-line result record (or the service's reply, which has its shape) into a
// state or an error.
[[nodiscard]] std::expected<KeyboardState, HalError> interpret_backlight_output(std::string_view text,
                                                                                BacklightMode mode);

}  // namespace vantrel
