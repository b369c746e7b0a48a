#include "hal/backlight_pipe_client_win32.hpp"

#include <windows.h>

#include <utility>

#include "hal/backlight_invocation.hpp"
#include "hal/overlapped_io_win32.hpp"
#include "hal/service_pipe.hpp"
#include "hal/text_win32.hpp"
#include "hal/unique_handle_win32.hpp"

namespace vantrel {

namespace {

HalError unavailable(std::string message) { return HalError{HalErrorKind::Unavailable, std::move(message)}; }

HalError interrupted() { return unavailable("service HAL joignable mais échange interrompu"); }

}  // namespace

std::optional<std::expected<std::string, HalError>> exchange_over_pipe(const std::string& pipe_path,
                                                                        const std::string& request,
                                                                        std::chrono::seconds limit) {
    // Overlapped only so that the wait for the reply can be bounded.
    const win32::UniqueFileHandle pipe(CreateFileW(win32::to_utf16(pipe_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                                   /* no sharing */ 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                                   nullptr));
    if (!pipe) return std::nullopt;

    // One bound for the write and the read together.
    const win32::Deadline deadline(limit);
    const win32::UniqueHandle event(CreateEventW(nullptr, /*manual_reset=*/TRUE, /*signalled=*/FALSE, nullptr));
    if (!event) return std::unexpected(interrupted());

    const win32::IoOutcome wrote = win32::write_with_deadline(pipe.get(), event.get(), request, deadline.remaining());
    if (wrote.wait == win32::IoWait::TimedOut) return std::unexpected(unavailable(backlight_timeout_message(limit)));
    if (!wrote.ok) return std::unexpected(interrupted());

    std::string reply(PIPE_BUFFER_SIZE, '\0');
    const win32::IoOutcome read = win32::read_with_deadline(pipe.get(), event.get(), reply.data(),
                                                            static_cast<DWORD>(reply.size()), deadline.remaining());
    if (read.wait == win32::IoWait::TimedOut) return std::unexpected(unavailable(backlight_timeout_message(limit)));
    if (!read.ok) return std::unexpected(interrupted());
    reply.resize(read.bytes);
    return reply;
}

}  // namespace vantrel
