#pragma once
// Who may change the place the service is installed in. The service runs its executable and the
// tools beside it as LocalSystem, so a place that ordinary users may change would hand them the
// system's rights.

#include <windows.h>

#include <expected>
#include <string>

namespace vantrel {

// True when `descriptor` lets ordinary users change the object it guards: an allow entry that
// applies to the object itself (not an inherit-only one, which only passes on to what is created
// inside) gives Everyone, Authenticated Users, Users, Interactive, Guests or Anonymous a right that
// changes content or control (write or append data, delete, delete a child, change permissions or
// owner, generic write or all). A descriptor without a DACL grants everything to everyone. Deny
// entries are not weighed against them: a place that needs one to be safe is refused.
[[nodiscard]] bool open_to_ordinary_users(PSECURITY_DESCRIPTOR descriptor);

// The same rule over the DACL of the file or folder at `path`; or the system's error code
// (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when nothing is there).
[[nodiscard]] std::expected<bool, DWORD> path_open_to_ordinary_users(const std::wstring& path);

}  // namespace vantrel
