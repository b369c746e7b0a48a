#pragma once
// The full path of the running executable, however long (GetModuleFileNameW truncates silently
// to its buffer), or the system's error code.

#include <windows.h>

#include <expected>
#include <string>

namespace vantrel::win32 {

[[nodiscard]] std::expected<std::wstring, DWORD> executable_path();

}  // namespace vantrel::win32
