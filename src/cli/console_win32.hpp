#pragma once
// Standard output and error on Windows. Redirected to a file or a pipe, a stream receives exactly
// the UTF-8 bytes written (no "\r" added); on an interactive console the text is converted to
// UTF-16 and written with WriteConsoleW, so accents read correctly whatever the console code page.

#include <windows.h>

#include <string_view>

#include "src/cli/standard_stream.hpp"

namespace vantrel::win32 {

// How many units of `text` one console write takes: at most `limit`, but never the first half of a
// surrogate pair without the second, which Windows' console shows as two replacement characters
// when they come in separate writes.
std::size_t console_write_length(std::wstring_view text, std::size_t limit);

// Standard output or error (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE) written to its handle; a
// missing handle fails each write with ERROR_INVALID_HANDLE.
class StandardHandleStreamBuf final : public StandardStreamBuf {
public:
    explicit StandardHandleStreamBuf(DWORD which);
    ~StandardHandleStreamBuf() override { sync(); }

private:
    unsigned long write_all(std::string_view bytes) noexcept override;

    HANDLE handle_;
    bool console_;
};

}  // namespace vantrel::win32
