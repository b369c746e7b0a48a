#include "hal/src/backlight_script_file_win32.hpp"

#include <windows.h>

#include <utility>

#include "hal/src/backlight_invocation.hpp"
#include "src/util/file_io_win32.hpp"
#include "src/util/os_error.hpp"
#include "src/util/path_buffer_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace vantrel {

namespace {

HalError not_created(DWORD error) {
    return HalError::unavailable("script de rétroéclairage non créé : " + system_message(error));
}

using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);

// Where the script goes. For LocalSystem, GetTempPath2W gives a directory that ordinary users
// cannot write into (C:\Windows\SystemTemp). Windows 10 and Server 2016 have it only once their
// March 2025 updates are installed (KB5053594), and Wine 8 not at all: it is looked up at run time,
// and GetTempPathW serves where it is missing.
std::expected<std::wstring, DWORD> temporary_directory() {
    GetTempPath2Function get_temp_path2 = nullptr;
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (const FARPROC address = GetProcAddress(kernel, "GetTempPath2W")) {
            // Through the generic function type, which converts to any other without a warning.
            get_temp_path2 = reinterpret_cast<GetTempPath2Function>(reinterpret_cast<void (*)()>(address));
        }
    }
    return win32::path_from([get_temp_path2](wchar_t* buffer, DWORD size) {
        return get_temp_path2 != nullptr ? get_temp_path2(size, buffer) : GetTempPathW(size, buffer);
    });
}

}  // namespace

std::expected<std::wstring, HalError> backlight_script_path() {
    const auto directory = temporary_directory();
    if (!directory) return std::unexpected(not_created(directory.error()));
    return *directory + win32::to_utf16(backlight_script_file_name(GetCurrentProcessId()));
}

std::expected<void, HalError> write_backlight_script(const std::wstring& path, std::string_view text) {
    // Whatever has the name (a link, or a file another account planted) goes; the new file must
    // then be created by us.
    DeleteFileW(path.c_str());
    const win32::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, /* no sharing while written */ 0,
                                                   nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::unexpected(not_created(GetLastError()));
    if (const DWORD error = win32::write_all(file.get(), text); error != ERROR_SUCCESS)
        return std::unexpected(not_created(error));
    return {};
}

}  // namespace vantrel
