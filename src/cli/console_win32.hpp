#pragma once
// Standard output and error on Windows. Redirected to a file or a pipe, a stream receives exactly
// the UTF-8 bytes written (no "\r" added); on an interactive console the text is converted to
// UTF-16 and written with WriteConsoleW, so accents read correctly whatever the console code page.

#include <windows.h>

#include <streambuf>
#include <string>
#include <string_view>

namespace vantrel::win32 {

// How many units of `text` one console write takes: at most `limit`, but never the first half of a
// surrogate pair without the second, which Windows' console shows as two replacement characters
// when they come in separate writes.
std::size_t console_write_length(std::wstring_view text, std::size_t limit);

class StandardStreamBuf : public std::streambuf {
public:
    explicit StandardStreamBuf(DWORD which);  // STD_OUTPUT_HANDLE or STD_ERROR_HANDLE
    ~StandardStreamBuf() override;

    // The system's code of the last write that failed (a missing handle is ERROR_INVALID_HANDLE); 0
    // while every write succeeded.
    [[nodiscard]] DWORD last_write_error() const { return error_; }

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int sync() override;

private:
    HANDLE handle_;
    bool console_;
    std::string pending_;  // held until a flush, so a UTF-8 sequence is never split for the console
    DWORD error_ = 0;      // of the last write that failed; sync then returns -1
};

}  // namespace vantrel::win32
