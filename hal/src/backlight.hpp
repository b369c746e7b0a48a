#pragma once
// Keyboard backlight access: through the service's pipe when it answers, otherwise by running the
// embedded PowerShell script in this process.

#include <cstdint>
#include <expected>
#include <string_view>

#include "hal_error.hpp"

namespace vantrel {

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

[[nodiscard]] std::expected<KeyboardState, HalError> backlight_read();
// `level` is 0 to 2.
[[nodiscard]] std::expected<KeyboardState, HalError> backlight_write(std::uint8_t level);

}  // namespace vantrel
