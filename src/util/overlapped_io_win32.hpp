#pragma once
// Overlapped I/O with a deadline on a pipe or file opened with FILE_FLAG_OVERLAPPED: the one way
// the service's pipe server and the backlight's pipe client wait for a transfer. Whatever ends the
// wait (completion, the deadline, or a handle the caller also wakes on), the function returns only
// once the operation is over: a transfer still running is cancelled and its cancellation awaited,
// so the OVERLAPPED record and the buffer may go out of scope.

#include <windows.h>

#include <chrono>
#include <initializer_list>
#include <string_view>

namespace vantrel::win32 {

// A span of time as a wait's milliseconds: never negative, never INFINITE.
[[nodiscard]] DWORD wait_milliseconds(std::chrono::milliseconds span);

// An end fixed when it is made; what is left of it, for successive waits that share one bound.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds span);
    [[nodiscard]] DWORD remaining() const;

private:
    ULONGLONG end_;
};

enum class IoWait {
    Completed,  // the operation ended on its own (or had ended, or failed, when issued)
    Woken,      // one of the caller's handles was signalled first
    TimedOut,   // the time ran out first, or the wait itself failed
};

struct IoOutcome {
    IoWait wait;
    bool ok;      // the operation succeeded, even if only just before its cancellation
    DWORD bytes;  // bytes transferred
};

// A record for one operation, its event (manual-reset) reset first.
[[nodiscard]] OVERLAPPED overlapped_record(HANDLE event);

// Waits for an operation that its call left pending (ERROR_IO_PENDING), whose record has an event,
// beside the caller's handles (at most MAXIMUM_WAIT_OBJECTS - 1 of them).
[[nodiscard]] IoOutcome await_pending(HANDLE file, OVERLAPPED& overlapped, DWORD limit_ms,
                                      std::initializer_list<HANDLE> wake_on = {});

// One overlapped read into `buffer` or write of `bytes`, `event` (manual-reset) as its completion
// event. A call that fails at once is never waited on: after an immediate failure
// GetOverlappedResult can wait for ever (seen under Wine).
[[nodiscard]] IoOutcome read_with_deadline(HANDLE file, HANDLE event, char* buffer, DWORD size, DWORD limit_ms,
                                           std::initializer_list<HANDLE> wake_on = {});
[[nodiscard]] IoOutcome write_with_deadline(HANDLE file, HANDLE event, std::string_view bytes, DWORD limit_ms,
                                            std::initializer_list<HANDLE> wake_on = {});

}  // namespace vantrel::win32
