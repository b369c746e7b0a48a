#pragma once
// Blocking transfers on a file or pipe opened without FILE_FLAG_OVERLAPPED: a read to the end and a
// write of everything, each one loop for the whole system and its test programs. A single ReadFile
// or WriteFile may move only part of what was asked (a pipe, a console, a large transfer).

#include <windows.h>

#include <string>
#include <string_view>

namespace vantrel::win32 {

// Reads `file` to its end, handing each piece read to `take(std::string_view)`, which returns false
// to stop there. The end is a read of no bytes (the end of a file) or a failed read: a pipe ends that
// way, with ERROR_BROKEN_PIPE, once its writer has closed it. Returns ERROR_SUCCESS when the file
// ended or `take` stopped, and otherwise the failed read's code.
template <typename Take>
[[nodiscard]] DWORD read_to_end(HANDLE file, Take take) {
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, /* overlapped */ nullptr)) return GetLastError();
        if (got == 0 || !take(std::string_view(buffer, got))) return ERROR_SUCCESS;
    }
}

// Everything read until the end, or until a read fails: what a pipe's writer sent before it went.
[[nodiscard]] std::string read_all(HANDLE file);

// Writes all of `bytes`: ERROR_SUCCESS, the failed write's code, or ERROR_WRITE_FAULT when a write
// took nothing (or failed without saying why).
[[nodiscard]] DWORD write_all(HANDLE file, std::string_view bytes);

// GetLastError after a failed write, never ERROR_SUCCESS: taken at once, as later calls may change it.
[[nodiscard]] DWORD write_failure();

}  // namespace vantrel::win32
