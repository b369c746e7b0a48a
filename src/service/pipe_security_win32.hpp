#pragma once
// Who may use the service's pipe. The service runs as LocalSystem and the person at the keyboard
// is an ordinary user: the system's default security would let that user open the pipe for
// reading only, and would let any local program create instances of its name.

#include <windows.h>

#include <expected>

#include "src/util/unique_handle_win32.hpp"

namespace vantrel {

// Full control for SYSTEM and Administrators; for interactive users, reading and writing
// (FILE_GENERIC_READ, FILE_WRITE_DATA, FILE_WRITE_ATTRIBUTES: 0x12018B) without
// FILE_CREATE_PIPE_INSTANCE, which GENERIC_WRITE would include; no entry for anyone else
// (Everyone, anonymous, network logons), and nothing inherited.
inline constexpr const wchar_t* PIPE_SECURITY_SDDL = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)";

// The descriptor of PIPE_SECURITY_SDDL, or the system's error code.
[[nodiscard]] std::expected<win32::UniqueLocalMemory<void>, DWORD> pipe_security_descriptor();

}  // namespace vantrel
