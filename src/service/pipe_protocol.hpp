#pragma once
// The service's pipe protocol, both ends of it: one JSON request in, one compact seven-key reply
// line out. Portable, so every request and reply shape is tested natively; the pipe server and the
// pipe client only move the bytes.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "hal/src/backlight.hpp"
#include "hal/src/hal_error.hpp"

namespace vantrel {

inline constexpr std::string_view SERVICE_PIPE_PATH = R"(\\.\pipe\VantrelHal)";

// One read of at most this many bytes makes a request, and one makes a reply; the pipe's input and
// output buffers are given the same size.
inline constexpr std::size_t PIPE_BUFFER_SIZE = 4096;

// The two backlight operations a request may run. The service wires the backlight script; tests
// pass doubles.
struct BacklightOperations {
    std::function<std::expected<KeyboardState, HalError>()> read;
    std::function<std::expected<KeyboardState, HalError>(std::uint8_t level)> write;  // 0 to MAX_BACKLIGHT_LEVEL
};

// The reply to the received bytes, without its final line feed. Runs at most one operation. Only
// the first PIPE_BUFFER_SIZE bytes count; the rest of a longer request is ignored.
[[nodiscard]] std::string handle_request(std::string_view received, const BacklightOperations& operations);

// {"applied":true,"available":true,"known":…,"level":…,"max_level":…,"reason":"","source":…}
[[nodiscard]] std::string success_reply(const KeyboardState& state);
// {"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":…,"source":""}
[[nodiscard]] std::string failure_reply(std::string_view reason);

// The failure reply line, line feed included, for when not even failure_reply can be built: it
// needs no memory, and it is what failure_reply gives for the text of an allocation failure.
inline constexpr std::string_view OUT_OF_MEMORY_REPLY =
    R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":"mémoire insuffisante","source":""})"
    "\n";

// What a client writes: `{"op":"keyboard_write","level":N}` in write mode, `{"op":"keyboard_read"}`
// in read mode, with the final line feed.
[[nodiscard]] std::string pipe_request(BacklightMode mode, std::uint8_t level);

// The service's reply as the client reads it. A failure reply's reason is the display text of the
// service's error ("ressource non disponible : …"): that error is rebuilt, kind and message, so it
// is said once, not behind a second prefix. Any other reason is the message of an Unavailable error.
[[nodiscard]] std::expected<KeyboardState, HalError> interpret_reply(std::string_view reply, BacklightMode mode);

}  // namespace vantrel
