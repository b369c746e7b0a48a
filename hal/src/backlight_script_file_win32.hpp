#pragma once
// The backlight script as a file: where it goes, and writing it there. The caller deletes it once
// PowerShell is done with it.

#include <expected>
#include <string>
#include <string_view>

#include "hal/src/hal_error.hpp"

namespace vantrel {

// "vantrel-keyboard-{pid}.ps1" in the temporary directory. Unique per process only: calls within
// one process must not overlap.
[[nodiscard]] std::expected<std::wstring, HalError> backlight_script_path();

// Creates the file at `path` anew and writes `text` into it. Whatever already has the name is
// removed first, and a file that cannot be removed stops the run: the name is predictable, in a
// directory others may write into.
[[nodiscard]] std::expected<void, HalError> write_backlight_script(const std::wstring& path, std::string_view text);

}  // namespace vantrel
