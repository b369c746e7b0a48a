#include <windows.h>

#include "src/cli/write_output.hpp"
#include "src/util/file_io_win32.hpp"
#include "src/util/os_error.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace vantrel {
std::expected<void, std::string> write_whole_file(const std::string& path, std::string_view bytes) {
    const std::wstring wide = win32::to_utf16(path);
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL is refused (ERROR_ACCESS_DENIED) over an existing
    // hidden or system file, so the file is opened new-or-existing and then emptied; it keeps its
    // attributes. Wine does not enforce that rule, so only Windows shows the difference. Others
    // may read the file while it is written.
    win32::UniqueFileHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, /* security */ nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, /* template */ nullptr));
    if (!file) return std::unexpected(describe_os_error(GetLastError()));
    // A device (NUL, say) has no content to empty.
    if (GetFileType(file.get()) == FILE_TYPE_DISK && !SetEndOfFile(file.get()))
        return std::unexpected(describe_os_error(GetLastError()));
    if (const DWORD error = win32::write_all(file.get(), bytes); error != ERROR_SUCCESS)
        return std::unexpected(describe_os_error(error));
    if (!CloseHandle(file.release())) return std::unexpected(describe_os_error(GetLastError()));
    return {};
}

}  // namespace vantrel
