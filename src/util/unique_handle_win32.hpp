#pragma once
// Owners of the Win32 handles the system uses. Kernel calls fail two ways: CreateFileW,
// CreateNamedPipeW and FindFirstFileExW with INVALID_HANDLE_VALUE; CreateEventW, CreateProcessW,
// CreateJobObjectW and the service manager's calls with NULL. Both kernel handle owners take either
// for "no handle", so one that wraps the other kind of call still tests false when the call failed
// and closes nothing; they differ only in what an empty owner gives back: NULL from UniqueHandle,
// INVALID_HANDLE_VALUE from UniqueFileHandle, as the APIs that take their handles expect.

#include <windows.h>

#include "src/util/unique_resource.hpp"

namespace vantrel::win32 {

// Release functions as ordinary inline functions: the address of an imported system function
// is no constant expression, so it cannot be a template argument.
inline void close_handle(HANDLE handle) noexcept { CloseHandle(handle); }
inline void close_search(HANDLE handle) noexcept { FindClose(handle); }
inline void close_service_handle(SC_HANDLE handle) noexcept { CloseServiceHandle(handle); }
inline void free_local(void* memory) noexcept { LocalFree(memory); }

inline constexpr std::intptr_t INVALID_HANDLE = -1;  // INVALID_HANDLE_VALUE as an integer

using UniqueHandle = UniqueResource<HANDLE, &close_handle, nullptr, INVALID_HANDLE>;
using UniqueFileHandle = UniqueResource<HANDLE, &close_handle, INVALID_HANDLE, nullptr>;
using UniqueSearchHandle = UniqueResource<HANDLE, &close_search, INVALID_HANDLE>;
using UniqueServiceHandle = UniqueResource<SC_HANDLE, &close_service_handle, nullptr>;
template <typename T>
using UniqueLocalMemory = UniqueResource<T*, &free_local, nullptr>;

}  // namespace vantrel::win32
