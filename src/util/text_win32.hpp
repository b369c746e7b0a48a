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

// UTF-16 to UTF-8, each lone surrogate replaced by U+FFFD: for showing what the system gave back.
[[nodiscard]] std::string to_utf8_lossy(std::wstring_view utf16);

// A file name is UTF-16 that need not be valid: a lone surrogate has no UTF-8 form. The
// generalized UTF-8 that encodes it as the three bytes of its code unit keeps the name whole, so
// the file still opens, and keeps names in code-point order for sorting. Valid UTF-16 comes out
// as plain UTF-8.
[[nodiscard]] std::string to_generalized_utf8(std::wstring_view utf16);

// Back to UTF-16, lone surrogates included (as generalized UTF-8 writes them); what is no UTF-8
// becomes U+FFFD, as in to_utf16.
[[nodiscard]] std::wstring from_generalized_utf8(std::string_view text);

}  // namespace vantrel::win32
