#pragma once
// The client side of the service's pipe: one request written, one reply read, both bounded.

#include <chrono>
#include <expected>
#include <optional>
#include <string>

#include "hal/hal_error.hpp"

namespace vantrel {

// The service's reply, read once into a buffer of PIPE_BUFFER_SIZE bytes (a longer one is cut).
// Absent when the pipe cannot be opened, for whatever reason: then the caller runs the script
// itself. Once the pipe is open, the script is never the answer: a failed exchange is an error.
[[nodiscard]] std::optional<std::expected<std::string, HalError>> exchange_over_pipe(const std::string& pipe_path,
                                                                                     const std::string& request,
                                                                                     std::chrono::seconds limit);

}  // namespace vantrel
