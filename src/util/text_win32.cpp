#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace vantrel::win32 {

std::wstring to_utf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::optional<std::string> to_utf8(std::wstring_view utf16) {
    if (utf16.empty()) return std::string();
    // WC_ERR_INVALID_CHARS: a lone surrogate fails instead of turning silently into U+FFFD.
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(),
                                         static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    if (size == 0) return std::nullopt;
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), static_cast<int>(utf16.size()),
                        utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string system_message(DWORD code) {
    wchar_t* allocated = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&allocated), 0, nullptr);
    const UniqueLocalMemory<wchar_t> buffer(allocated);
    std::wstring_view text(buffer.get(), length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.remove_suffix(1);
    std::string message = to_utf8(text).value_or(std::string());
    if (message.empty()) message = "erreur système " + std::to_string(code);
    return message;
}

}  // namespace vantrel::win32
