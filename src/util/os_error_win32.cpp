#include <windows.h>

#include "src/util/os_error.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace vantrel {

// Without the line break that the system puts at the end of its text.
std::string system_message(unsigned long code) {
    win32::UniqueLocalMemory<wchar_t> buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring_view text(buffer.get(), buffer ? length : 0);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.remove_suffix(1);
    std::string message = win32::to_utf8(text).value_or(std::string());
    if (message.empty()) message = "erreur système " + std::to_string(code);
    return message;
}

}  // namespace vantrel
