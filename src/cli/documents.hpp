#pragma once
// The JSON documents of the command line, the detection report, the profile listing and the
// keyboard backlight's state, and the one pretty form in which all are rendered.

#include <expected>
#include <string>
#include <string_view>

#include "src/cli/resolution.hpp"
#include "hal/src/identity.hpp"
#include "src/profiles/catalogue.hpp"
#include "src/service/backlight_client.hpp"

namespace vantrel {

// The fixed notice that opens every document.
extern const std::string_view NOTICE;

// The detection report in the pretty form (two blanks per level, ": " after keys, raw UTF-8, no
// final line feed), or the renderer's failure message.
[[nodiscard]] std::expected<std::string, std::string> render_detection_report(
    std::string_view backend, const MachineIdentity& identity, const Resolution& resolution,
    std::size_t profiles_loaded);

// The profile listing in the same form.
[[nodiscard]] std::expected<std::string, std::string> render_profile_listing(const ProfileCatalogue& catalogue);

// The backlight's state after `keyboard`, and who answered, in the same form.
[[nodiscard]] std::expected<std::string, std::string> render_keyboard_state(const BacklightAnswer& answer);

}  // namespace vantrel
