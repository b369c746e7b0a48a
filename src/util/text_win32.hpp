#pragma once
// Text at the Win32 boundary: every name passed to a W function is UTF-16 converted from UTF-8,
// and every system text that reaches a user is UTF-8.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::win32 {

// UTF-8 to UTF-16. Invalid UTF-8 becomes U+FFFD (callers pass text that is already checked).
[[nodiscard]] std::wstring to_utf16(std::string_view utf8);

// UTF-16 to UTF-8; absent when the text is not valid UTF-16 (a lone surrogate).
[[nodiscard]] std::optional<std::string> to_utf8(std::wstring_view utf16);

// The system's description of an error code (FormatMessageW), in UTF-8, without the line break
// that the system puts at its end.
[[nodiscard]] std::string system_message(DWORD code);

}  // namespace vantrel::win32
