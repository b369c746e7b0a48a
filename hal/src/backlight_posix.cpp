#include "hal/src/backlight.hpp"

namespace vantrel {

// The backlight back ends (PowerShell and the drivers it reaches) exist on Windows only; natively
// there is nothing to reach.
std::expected<KeyboardState, HalError> run_backlight_script(BacklightMode, std::uint8_t,
                                                            const BacklightScriptSettings&) {
    return std::unexpected(HalError::unavailable("le rétroéclairage clavier n'est accessible que sous Windows"));
}

}  // namespace vantrel
