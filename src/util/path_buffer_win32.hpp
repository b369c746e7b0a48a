#pragma once
// A path that a Win32 call writes into a caller's buffer, the buffer grown until it fits.

#include <windows.h>

#include <expected>
#include <string>

namespace vantrel::win32 {

// `call(buffer, size)` returns the length without the NUL when the path fits, the size needed
// otherwise, and 0 on failure (GetLastError tells why), as GetTempPathW and GetSystemDirectoryW do.
template <typename Call>
std::expected<std::wstring, DWORD> path_from(Call call) {
    std::wstring path(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = call(path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::unexpected(GetLastError());
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

}  // namespace vantrel::win32
