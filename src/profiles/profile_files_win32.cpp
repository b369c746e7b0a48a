#include <windows.h>

#include "os_error.hpp"
#include "profiles/profile_files.hpp"
#include "win32/text.hpp"
#include "win32/unique_handle.hpp"

namespace vantrel {
namespace {

LoadError os_error(DWORD code) { return {LoadErrorKind::Io, describe_os_error(code)}; }

bool ends_with_separator(const std::string& dir) {
    // "C:" names the current directory of drive C: a separator would change it into the root.
    const bool drive_only = dir.size() == 2 && dir[1] == ':';
    return dir.empty() || dir.ends_with('\\') || dir.ends_with('/') || drive_only;
}

// Search handles close with FindClose, not CloseHandle.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    [[nodiscard]] HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

std::expected<std::vector<std::string>, LoadError> list_directory(const std::string& dir) {
    // An empty name would search the current directory; it names no directory.
    if (dir.empty()) return std::unexpected(os_error(ERROR_PATH_NOT_FOUND));
    const std::wstring pattern = win32::to_utf16(join_path(dir, "*"));
    WIN32_FIND_DATAW data{};
    const FindHandle search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                             /* search filter */ nullptr, FIND_FIRST_EX_LARGE_FETCH));
    std::vector<std::string> names;
    if (search.get() == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // The directory exists and holds nothing, not even "." (the root of an empty drive).
        if (code == ERROR_FILE_NOT_FOUND) return names;
        return std::unexpected(os_error(code));
    }
    do {
        const std::wstring_view wide = data.cFileName;
        if (wide == L"." || wide == L"..") continue;
        if (std::optional<std::string> name = win32::to_utf8(wide)) names.push_back(std::move(*name));
    } while (FindNextFileW(search.get(), &data));
    // Any failure of FindNextFileW, ERROR_NO_MORE_FILES or not, ends the listing.
    return names;
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (ends_with_separator(dir)) return dir + name;
    return dir + '\\' + name;
}

std::expected<std::string, LoadError> read_whole_file(const std::string& path) {
    const std::wstring wide = win32::to_utf16(path);
    // Others may go on reading, writing or renaming the file meanwhile, as with any reader.
    const win32::UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               /* security */ nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                               /* template */ nullptr));
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS: "Access is denied".
    if (!file) return std::unexpected(os_error(GetLastError()));
    std::string content;
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &count, /* overlapped */ nullptr))
            return std::unexpected(os_error(GetLastError()));
        if (count == 0) return content;
        content.append(buffer, count);
    }
}

}  // namespace vantrel
