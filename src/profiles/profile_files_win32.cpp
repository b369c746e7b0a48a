#include <windows.h>

#include <string>
#include <string_view>

#include "src/util/os_error.hpp"
#include "src/profiles/profile_files.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace vantrel {
namespace {

LoadError os_error(DWORD code) { return {describe_os_error(code)}; }

void append_utf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A file name is UTF-16 that need not be valid: a lone surrogate has no UTF-8 form. The
// generalized UTF-8 that encodes it as the three bytes of its code unit keeps the name whole, so
// the file still opens, and keeps the names in code-point order for sorting. With `lossy`, a lone
// surrogate becomes U+FFFD instead, as messages show it.
std::string to_generalized_utf8(std::wstring_view wide, bool lossy) {
    std::string text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
            ++i;
        } else if (lossy && c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        append_utf8(text, c);
    }
    return text;
}

// Back to UTF-16, lone surrogates included; the paths given are UTF-8 joined with listed names.
std::wstring from_generalized_utf8(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool whole = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!whole || c > 0x10FFFF) {
            wide += L'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            wide += static_cast<wchar_t>(0xD800 + (c >> 10));
            wide += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(c);
        }
        i += length;
    }
    return wide;
}

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
        names.push_back(to_generalized_utf8(wide, /* lossy */ false));
    } while (FindNextFileW(search.get(), &data));
    // Only ERROR_NO_MORE_FILES is the end; any other failure would cut the listing short.
    if (const DWORD code = GetLastError(); code != ERROR_NO_MORE_FILES) return std::unexpected(os_error(code));
    return names;
}

std::string display_path(const std::string& path) {
    return to_generalized_utf8(from_generalized_utf8(path), /* lossy */ true);
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
    const std::wstring wide = from_generalized_utf8(path);
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
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &count, /* overlapped */ nullptr))
            return std::unexpected(os_error(GetLastError()));
        if (count == 0) return content;
        // The file may have grown since it was measured.
        if (content.size() + count > MAX_PROFILE_FILE_BYTES) return std::unexpected(profile_too_large(path));
        content.append(buffer, count);
    }
}

}  // namespace vantrel
