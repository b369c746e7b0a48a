#include "cli/console_win32.hpp"

#include <algorithm>

#include "hal/text_win32.hpp"

namespace vantrel::win32 {

std::size_t console_write_length(std::wstring_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    return limit > 1 && IS_HIGH_SURROGATE(text[limit - 1]) ? limit - 1 : limit;
}

StandardStreamBuf::StandardStreamBuf(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

StandardStreamBuf::~StandardStreamBuf() { sync(); }

StandardStreamBuf::int_type StandardStreamBuf::overflow(int_type ch) {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) pending_.push_back(traits_type::to_char_type(ch));
    return traits_type::not_eof(ch);
}

std::streamsize StandardStreamBuf::xsputn(const char* data, std::streamsize count) {
    pending_.append(data, static_cast<std::size_t>(count));
    return count;
}

int StandardStreamBuf::sync() {
    if (pending_.empty()) return 0;
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
        pending_.clear();
        error_ = ERROR_INVALID_HANDLE;
        return -1;
    }
    // Taken where a write fails: later calls may change it. A write that took nothing has none.
    DWORD failure = ERROR_SUCCESS;
    bool complete = true;
    // Each message is written once; a stream that cannot be written is not retried.
    if (console_) {
        std::wstring wide;
        try {
            wide = to_utf16(pending_);
        } catch (...) {
            // No memory for the wide text. Nothing may escape: the destructor flushes too.
            pending_.clear();
            error_ = ERROR_NOT_ENOUGH_MEMORY;
            return -1;
        }
        std::size_t done = 0;
        while (done < wide.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(console_write_length(std::wstring_view(wide).substr(done), 16384));
            if (!WriteConsoleW(handle_, wide.data() + done, chunk, &written, nullptr)) {
                failure = GetLastError();
                break;
            }
            if (written == 0) break;
            done += written;
        }
        complete = done == wide.size();
    } else {
        std::size_t done = 0;
        while (done < pending_.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(pending_.size() - done, 1 << 20));
            if (!WriteFile(handle_, pending_.data() + done, chunk, &written, nullptr)) {
                failure = GetLastError();
                break;
            }
            if (written == 0) break;
            done += written;
        }
        complete = done == pending_.size();
    }
    if (!complete) error_ = failure != ERROR_SUCCESS ? failure : ERROR_WRITE_FAULT;
    pending_.clear();
    return complete ? 0 : -1;
}

}  // namespace vantrel::win32
