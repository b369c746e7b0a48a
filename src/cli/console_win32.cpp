#include "src/cli/console_win32.hpp"

#include "src/util/file_io_win32.hpp"
#include "src/util/text_win32.hpp"

namespace vantrel::win32 {

std::size_t console_write_length(std::wstring_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    return limit > 1 && IS_HIGH_SURROGATE(text[limit - 1]) ? limit - 1 : limit;
}

StandardHandleStreamBuf::StandardHandleStreamBuf(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

unsigned long StandardHandleStreamBuf::write_all(std::string_view bytes) noexcept {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (!console_) return vantrel::win32::write_all(handle_, bytes);
    std::wstring wide;
    try {
        wide = to_utf16(bytes);
    } catch (...) {
        // No memory for the wide text. Nothing may escape: the destructor flushes too.
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::size_t done = 0;
    while (done < wide.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(console_write_length(std::wstring_view(wide).substr(done), 16384));
        if (!WriteConsoleW(handle_, wide.data() + done, chunk, &written, nullptr)) return write_failure();
        if (written == 0) return ERROR_WRITE_FAULT;
        done += written;
    }
    return ERROR_SUCCESS;
}

}  // namespace vantrel::win32
