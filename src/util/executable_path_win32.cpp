#include "src/util/executable_path_win32.hpp"

namespace vantrel::win32 {

std::expected<std::wstring, DWORD> executable_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::unexpected(GetLastError());
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Truncated: the result filled the buffer.
        if (path.size() >= 32768) return std::unexpected(DWORD{ERROR_INSUFFICIENT_BUFFER});
        path.resize(path.size() * 2);
    }
}

std::expected<std::wstring, DWORD> executable_directory() {
    auto path = executable_path();
    // A full path has a separator; a path without one leaves nothing.
    if (path) path->resize(path->find_last_of(L"\\/") + 1);
    return path;
}

}  // namespace vantrel::win32
