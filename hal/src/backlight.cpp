#include "backlight.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "unicode.hpp"

namespace vantrel {

namespace {

constexpr std::array<std::pair<BacklightSource, std::string_view>, 4> SOURCE_NAMES{{
    {BacklightSource::Hid, "hid"},
    {BacklightSource::LenovoWmi, "lenovo-wmi"},
    {BacklightSource::ThinkpadPm, "thinkpad-pm"},
    {BacklightSource::Framework, "framework"},
}};

}  // namespace

std::string_view source_name(BacklightSource source) {
    for (const auto& [value, name] : SOURCE_NAMES) {
        if (value == source) return name;
    }
    return "";
}

std::expected<KeyboardState, HalError> interpret_backlight_output(std::string_view, std::string_view) {
    return std::unexpected(HalError{HalErrorKind::Unavailable, "rétroéclairage non disponible"});
}

std::expected<KeyboardState, HalError> backlight_read() { return run_backlight("read", 0); }

std::expected<KeyboardState, HalError> backlight_write(std::uint8_t level) {
    return run_backlight("write", std::min<std::uint8_t>(level, 2));
}

std::expected<KeyboardState, HalError> run_backlight(std::string_view, std::uint8_t, const BacklightChannel&) {
    return std::unexpected(HalError{HalErrorKind::Unavailable, "rétroéclairage non disponible"});
}

}  // namespace vantrel
