#pragma once
// The full path of the running executable, however long (GetModuleFileNameW truncates silently
// to its buffer), or the system's error code.

#include <windows.h>

#include <expected>
#include <string>

namespace vantrel::win32 {

[[nodiscard]] std::expected<std::wstring, DWORD> executable_path();

// The folder that holds the running executable, with its final separator, ready for a file name
// to be appended: the files installed or built beside it. Empty for a path without a separator.
[[nodiscard]] std::expected<std::wstring, DWORD> executable_directory();

}  // namespace vantrel::win32
