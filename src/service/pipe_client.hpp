#pragma once
// The client end of the service's pipe: one request written, one reply read, both bounded, and
// sent only to the service itself.

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "hal/src/hal_error.hpp"
#include "src/service/pipe_protocol.hpp"

namespace vantrel {

// The process the service manager runs VantrelHal in, or why there is none, in a few words
// ("arrêté", "non installé").
using ServiceProcess = std::expected<std::uint32_t, std::string>;

// How a client reaches the service. The defaults are the product's; tests name a pipe and a
// service process of their own, and shorten the bounds.
struct PipeClientSettings {
    std::string pipe_path{SERVICE_PIPE_PATH};
    // Empty: the service manager is asked.
    std::function<ServiceProcess()> service_process;
    // Bounds the write and the read of one exchange together.
    std::chrono::seconds exchange_limit{60};
    // How long a busy pipe, another client being served, is waited for.
    std::chrono::seconds busy_limit{30};
};

// The service's reply, read once into a buffer of PIPE_BUFFER_SIZE bytes (a longer one is cut).
// Absent when there is no pipe to open, or it may not be opened: then the caller runs the script
// itself. Once the pipe is open, the script is never the answer: a pipe served by another process
// than the service, a busy pipe that stays busy and a failed exchange are errors.
[[nodiscard]] std::optional<std::expected<std::string, HalError>> exchange_with_service(
    const PipeClientSettings& settings, const std::string& request);

// Whether a request may be written to the pipe at `pipe_path`: only when the process serving it
// (or the system's error code where it cannot be told) is the service's process.
[[nodiscard]] std::expected<void, HalError> trust_pipe_server(
    std::string_view pipe_path, const std::expected<std::uint32_t, unsigned long>& server_process,
    const ServiceProcess& service_process);

}  // namespace vantrel
