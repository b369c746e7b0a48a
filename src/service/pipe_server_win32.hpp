#pragma once
// The service's named-pipe server: one instance, one client at a time, one request per
// connection. It takes its stop flag and events as arguments, so tests run it in-process.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <string>

#include "src/util/text_win32.hpp"
#include "src/service/pipe_protocol.hpp"

namespace vantrel {

struct PipeServerSettings {
    std::wstring pipe_name = win32::to_utf16(SERVICE_PIPE_PATH);
    // A connected client that sends nothing for this long is dropped, so it cannot hold the only
    // instance.
    std::chrono::milliseconds request_timeout{5000};
    // Time the client has to take its whole reply; after it the reply is discarded.
    std::chrono::milliseconds reply_timeout{5000};
};

// Why the loop ended; the service reports stopped whatever the reason.
enum class ServerEnd {
    StopRequested,    // the flag was set, or the stop event signalled
    WaitFailed,       // waiting for a client failed
    ConnectFailed,    // the connection call succeeded without reporting a connected client
};

// Serves clients until the stop flag is set or the stop event is signalled (both belong to the
// caller, as does the connect event). A stop ends the wait for a client at once, and the waits
// for a connected client's request or for it to take its reply; a request being carried out is
// still answered, and the pipe is then closed without a disconnect so the reply stays readable.
// The pipe is the first instance of its name, or none: when another process holds the name, or the
// pipe (or the server's own I/O event) cannot be created, the system's error code is returned.
std::expected<ServerEnd, DWORD> serve_pipe(const PipeServerSettings& settings, const std::atomic<std::uint8_t>& stop_requested,
                     HANDLE stop_event, HANDLE connect_event, const BacklightOperations& operations);

}  // namespace vantrel
