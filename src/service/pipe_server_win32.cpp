#include "src/service/pipe_server_win32.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "src/util/exception_text.hpp"
#include "src/util/overlapped_io_win32.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "src/service/pipe_security_win32.hpp"

namespace vantrel {
namespace {

using win32::IoWait;

// The first instance of the name: a process that created the name before the service (to serve
// its clients in the service's stead) makes the creation fail instead of sharing the name.
constexpr DWORD OPEN_MODE = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
constexpr DWORD PIPE_MODE = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
constexpr DWORD MAX_INSTANCES = 1;
constexpr DWORD SYSTEM_DEFAULT_TIMEOUT = 0;
// The flush worker only waits; it needs little stack.
constexpr SIZE_T FLUSH_WORKER_STACK = 64 * 1024;
// A cancel that comes before the worker has entered its flush cancels nothing, so it is repeated
// until the worker has ended; only if that never happens does a disconnect end the flush.
constexpr DWORD CANCEL_RETRY_MS = 10;
constexpr int CANCEL_RETRIES = 100;

enum class AfterClient { NextClient, Stop };

DWORD WINAPI flush_pipe(void* pipe) {
    return FlushFileBuffers(static_cast<HANDLE>(pipe)) ? ERROR_SUCCESS : GetLastError();
}

// FlushFileBuffers returns once the client has read the reply, and cannot be given a time limit
// or a stop event: it runs on a worker thread, which is waited on beside the stop event and ended
// by cancelling the flush. Woken means the stop event.
IoWait flush_reply(HANDLE pipe, HANDLE stop_event, DWORD limit) {
    win32::UniqueHandle worker(
        CreateThread(nullptr, FLUSH_WORKER_STACK, flush_pipe, pipe, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!worker) {
        // No thread to be had: the plain flush, unbounded, is still better than losing the reply.
        FlushFileBuffers(pipe);
        return IoWait::Completed;
    }
    const HANDLE handles[] = {worker.get(), stop_event};
    const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, limit);
    if (woke == WAIT_OBJECT_0) return IoWait::Completed;

    const IoWait why = woke == WAIT_OBJECT_0 + 1 ? IoWait::Woken : IoWait::TimedOut;
    for (int attempt = 0; attempt < CANCEL_RETRIES; ++attempt) {
        CancelIoEx(pipe, nullptr);
        if (WaitForSingleObject(worker.get(), CANCEL_RETRY_MS) == WAIT_OBJECT_0) return why;
    }
    DisconnectNamedPipe(pipe);
    WaitForSingleObject(worker.get(), INFINITE);
    return why;
}

// The reply line, line feed included, kept in `storage`. Whatever carrying out the request throws
// (an allocation, a thread the PowerShell runner could not start), this client gets a failure
// reply and the loop goes on with the next one.
std::string_view reply_line(std::string_view request, const BacklightOperations& operations,
                            std::string& storage) noexcept {
    try {
        storage = handle_request(request, operations);
        storage += '\n';
        return storage;
    } catch (...) {
        try {
            storage = failure_reply(describe_current_exception());
            storage += '\n';
            return storage;
        } catch (...) {
            return OUT_OF_MEMORY_REPLY;
        }
    }
}

// One connection: one read, one reply. The caller disconnects nothing; this decides.
AfterClient serve_client(HANDLE pipe, HANDLE io_event, HANDLE stop_event, const PipeServerSettings& settings,
                         const BacklightOperations& operations) {
    std::string storage;
    std::string_view reply;
    {
        // On the stack: serving a client allocates nothing before the request is handled.
        std::array<char, PIPE_BUFFER_SIZE> request;
        const win32::IoOutcome read =
            win32::read_with_deadline(pipe, io_event, request.data(), static_cast<DWORD>(request.size()),
                                      win32::wait_milliseconds(settings.request_timeout), {stop_event});
        if (!read.ok) {
            // No request (the client left, sent nothing in time, or a stop came): no reply. On a
            // stop the loop ends and closes the pipe.
            if (read.wait == IoWait::Woken) return AfterClient::Stop;
            DisconnectNamedPipe(pipe);
            return AfterClient::NextClient;
        }
        const std::size_t received = std::min<std::size_t>(read.bytes, PIPE_BUFFER_SIZE);
        // This client holds the one pipe instance while its request is carried out: another
        // client finds the pipe busy and waits its turn.
        reply = reply_line(std::string_view(request.data(), received), operations, storage);
    }

    const win32::Deadline deadline(settings.reply_timeout);
    const win32::IoOutcome write =
        win32::write_with_deadline(pipe, io_event, reply, deadline.remaining(), {stop_event});
    if (!write.ok || write.bytes != reply.size()) {
        CancelIoEx(pipe, nullptr);
        if (write.wait == IoWait::Woken) return AfterClient::Stop;
        DisconnectNamedPipe(pipe);
        return AfterClient::NextClient;
    }
    // On a stop the pipe is closed without a disconnect: a close keeps the unread reply for the
    // client, a disconnect would discard it.
    if (flush_reply(pipe, stop_event, deadline.remaining()) == IoWait::Woken) return AfterClient::Stop;
    DisconnectNamedPipe(pipe);
    return AfterClient::NextClient;
}

}  // namespace

std::expected<ServerEnd, DWORD> serve_pipe(const PipeServerSettings& settings,
                                           const std::atomic<std::uint8_t>& stop_requested, HANDLE stop_event,
                                           HANDLE connect_event, const BacklightOperations& operations) {
    const auto descriptor = pipe_security_descriptor();
    if (!descriptor) return std::unexpected(descriptor.error());
    SECURITY_ATTRIBUTES security{.nLength = sizeof(SECURITY_ATTRIBUTES),
                                 .lpSecurityDescriptor = descriptor->get(),
                                 .bInheritHandle = FALSE};
    const win32::UniqueFileHandle pipe(CreateNamedPipeW(settings.pipe_name.c_str(), OPEN_MODE, PIPE_MODE, MAX_INSTANCES,
                                                        PIPE_BUFFER_SIZE, PIPE_BUFFER_SIZE, SYSTEM_DEFAULT_TIMEOUT,
                                                        &security));
    if (!pipe) return std::unexpected(GetLastError());
    // The request read and the reply write wait on this event beside the stop event.
    const win32::UniqueHandle io_event(CreateEventW(nullptr, /*manual_reset=*/TRUE, /*signalled=*/FALSE, nullptr));
    if (!io_event) return std::unexpected(GetLastError());

    while (stop_requested.load(std::memory_order_acquire) == 0) {
        OVERLAPPED overlapped = win32::overlapped_record(connect_event);
        const BOOL connected = ConnectNamedPipe(pipe.get(), &overlapped);
        const DWORD code = GetLastError();
        if (connected) {
            if (code != ERROR_PIPE_CONNECTED) return ServerEnd::ConnectFailed;
        } else if (code == ERROR_IO_PENDING) {
            // Without time limit, so only a failed wait ends it otherwise than a client or a stop.
            const win32::IoOutcome waited = win32::await_pending(pipe.get(), overlapped, INFINITE, {stop_event});
            if (waited.wait == IoWait::Woken) return ServerEnd::StopRequested;
            if (waited.wait != IoWait::Completed) return ServerEnd::WaitFailed;
        }
        // Any other failure (ERROR_PIPE_CONNECTED among them): a client is, or was, there.
        if (serve_client(pipe.get(), io_event.get(), stop_event, settings, operations) == AfterClient::Stop)
            return ServerEnd::StopRequested;
    }
    return ServerEnd::StopRequested;
}

}  // namespace vantrel
