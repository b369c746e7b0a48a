#include <windows.h>

#include <string>
#include <string_view>

#include "src/util/os_error.hpp"
#include "src/profiles/profile_files.hpp"
#include "src/util/file_io_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace vantrel {
namespace {

LoadError os_error(DWORD code) { return {describe_os_error(code)}; }

bool ends_with_separator(const std::string& dir) {
    // "C:" names the current directory of drive C: a separator would change it into the root.
    const bool drive_only = dir.size() == 2 && dir[1] == ':';
    return dir.empty() || dir.ends_with('\\') || dir.ends_with('/') || drive_only;
}

}  // namespace

std::expected<std::vector<std::string>, LoadError> list_directory(const std::string& dir) {
    // An empty name would search the current directory; it names no directory.
    if (dir.empty()) return std::unexpected(os_error(ERROR_PATH_NOT_FOUND));
    const std::wstring pattern = win32::to_utf16(join_path(dir, "*"));
    WIN32_FIND_DATAW data{};
    const win32::UniqueSearchHandle search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                             /* search filter */ nullptr, FIND_FIRST_EX_LARGE_FETCH));
    std::vector<std::string> names;
    if (!search) {
        const DWORD code = GetLastError();
        // The directory exists and holds nothing, not even "." (the root of an empty drive).
        if (code == ERROR_FILE_NOT_FOUND) return names;
        return std::unexpected(os_error(code));
    }
    do {
        const std::wstring_view wide = data.cFileName;
        if (wide == L"." || wide == L"..") continue;
        names.push_back(win32::to_generalized_utf8(wide));
    } while (FindNextFileW(search.get(), &data));
    // Only ERROR_NO_MORE_FILES is the end; any other failure would cut the listing short.
    if (const DWORD code = GetLastError(); code != ERROR_NO_MORE_FILES) return std::unexpected(os_error(code));
    return names;
}

std::string display_path(const std::string& path) {
    return win32::to_utf8_lossy(win32::from_generalized_utf8(path));
}

// One: under Wine, where this build is measured, opening, measuring and closing each file are
// requests to wineserver, which serves them one at a time, and they cost far more than decoding
// the file. A second thread made a load of 1,067 files some 10 % slower there, not faster.
std::size_t loading_threads() { return 1; }

std::string join_path(const std::string& dir, const std::string& name) {
    if (ends_with_separator(dir)) return dir + name;
    return dir + '\\' + name;
}

std::expected<std::string, LoadError> read_whole_file(const std::string& path) {
    const std::wstring wide = win32::from_generalized_utf8(path);
    // Others may go on reading, writing or renaming the file meanwhile, as with any reader.
    const win32::UniqueFileHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               /* security */ nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                               /* template */ nullptr));
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS: "Access is denied".
    if (!file) return std::unexpected(os_error(GetLastError()));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return std::unexpected(os_error(GetLastError()));
    if (static_cast<unsigned long long>(size.QuadPart) > MAX_PROFILE_FILE_BYTES) {
        return std::unexpected(profile_too_large(path));
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(size.QuadPart));
    bool too_large = false;
    const DWORD error = win32::read_to_end(file.get(), [&content, &too_large](std::string_view piece) {
        // The file may have grown since it was measured.
        too_large = content.size() + piece.size() > MAX_PROFILE_FILE_BYTES;
        if (!too_large) content += piece;
        return !too_large;
    });
    if (error != ERROR_SUCCESS) return std::unexpected(os_error(error));
    if (too_large) return std::unexpected(profile_too_large(path));
    return content;
}

}  // namespace vantrel
