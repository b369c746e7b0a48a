#pragma once
// The `detect` and `profiles` commands: each yields its rendered document or a failure message.

#include <expected>
#include <string>
#include <string_view>

#include "hal/src/firmware_source.hpp"

namespace vantrel {

// Catalogue first (a bad profile ends the command before the firmware is read), then the
// identity through `firmware`, then the resolution and the report. `backend` names the source.
[[nodiscard]] std::expected<std::string, std::string> detect(const std::string& profiles_dir,
                                                             FirmwareSource& firmware, std::string_view backend);

[[nodiscard]] std::expected<std::string, std::string> list_profiles(const std::string& profiles_dir);

}  // namespace vantrel
