#include "src/util/overlapped_io_win32.hpp"

#include <algorithm>
#include <array>

namespace vantrel::win32 {

namespace {

// The outcome of an operation whose call has just returned, `issue_error` read right after it.
IoOutcome finish(HANDLE file, OVERLAPPED& overlapped, BOOL issued, DWORD issue_error, DWORD limit_ms,
                 std::initializer_list<HANDLE> wake_on) {
    if (issued) {
        DWORD bytes = 0;
        const bool ok = GetOverlappedResult(file, &overlapped, &bytes, /*wait=*/FALSE) != FALSE;
        return {IoWait::Completed, ok, bytes};
    }
    if (issue_error != ERROR_IO_PENDING) return {IoWait::Completed, false, 0};
    return await_pending(file, overlapped, limit_ms, wake_on);
}

}  // namespace

DWORD wait_milliseconds(std::chrono::milliseconds span) {
    return static_cast<DWORD>(std::clamp<long long>(span.count(), 0, INFINITE - 1));
}

Deadline::Deadline(std::chrono::milliseconds span) : end_(GetTickCount64() + wait_milliseconds(span)) {}

DWORD Deadline::remaining() const {
    const ULONGLONG now = GetTickCount64();
    return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
}

OVERLAPPED overlapped_record(HANDLE event) {
    ResetEvent(event);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    return overlapped;
}

IoOutcome await_pending(HANDLE file, OVERLAPPED& overlapped, DWORD limit_ms, std::initializer_list<HANDLE> wake_on) {
    std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles{overlapped.hEvent};
    const std::size_t extra = std::min<std::size_t>(wake_on.size(), handles.size() - 1);
    std::copy_n(wake_on.begin(), extra, handles.begin() + 1);
    const DWORD count = static_cast<DWORD>(extra + 1);

    const DWORD woke = WaitForMultipleObjects(count, handles.data(), /*wait_all=*/FALSE, limit_ms);
    if (woke != WAIT_OBJECT_0) CancelIoEx(file, &overlapped);
    // After a cancel this waits for the operation to end, so the record outlives it.
    DWORD bytes = 0;
    const bool ok = GetOverlappedResult(file, &overlapped, &bytes, /*wait=*/TRUE) != FALSE;
    if (woke == WAIT_OBJECT_0) return {IoWait::Completed, ok, bytes};
    if (woke > WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + count) return {IoWait::Woken, ok, bytes};
    return {IoWait::TimedOut, ok, bytes};
}

IoOutcome read_with_deadline(HANDLE file, HANDLE event, char* buffer, DWORD size, DWORD limit_ms,
                             std::initializer_list<HANDLE> wake_on) {
    OVERLAPPED overlapped = overlapped_record(event);
    const BOOL issued = ReadFile(file, buffer, size, nullptr, &overlapped);
    return finish(file, overlapped, issued, GetLastError(), limit_ms, wake_on);
}

IoOutcome write_with_deadline(HANDLE file, HANDLE event, std::string_view bytes, DWORD limit_ms,
                              std::initializer_list<HANDLE> wake_on) {
    OVERLAPPED overlapped = overlapped_record(event);
    const BOOL issued = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &overlapped);
    return finish(file, overlapped, issued, GetLastError(), limit_ms, wake_on);
}

}  // namespace vantrel::win32
