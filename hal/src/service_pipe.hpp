#pragma once
// The service's named pipe as both its ends know it: the pipe server inside the service, and the
// backlight access, which is its client.

#include <cstddef>
#include <string_view>

namespace vantrel {

inline constexpr std::string_view SERVICE_PIPE_PATH = R"(\\.\pipe\VantrelHal)";

// One read of at most this many bytes makes a request, and one makes a reply; the pipe's input and
// output buffers are given the same size.
inline constexpr std::size_t PIPE_BUFFER_SIZE = 4096;

}  // namespace vantrel
