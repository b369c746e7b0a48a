#include "src/util/file_io_win32.hpp"

#include <algorithm>

namespace vantrel::win32 {

DWORD write_failure() {
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_WRITE_FAULT;
}

std::string read_all(HANDLE file) {
    std::string text;
    (void)read_to_end(file, [&text](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}

DWORD write_all(HANDLE file, std::string_view bytes) {
    // One write's count is a DWORD; pieces of 1 MiB stay far below it and cost nothing more.
    constexpr std::size_t PIECE = 1 << 20;
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto piece = static_cast<DWORD>(std::min(bytes.size(), PIECE));
        if (!WriteFile(file, bytes.data(), piece, &written, /* overlapped */ nullptr)) return write_failure();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(std::min<std::size_t>(written, bytes.size()));
    }
    return ERROR_SUCCESS;
}

}  // namespace vantrel::win32
