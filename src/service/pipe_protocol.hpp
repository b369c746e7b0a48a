#pragma once
// The service's pipe protocol: one JSON request in, one compact seven-key reply line out. Portable,
// so every request shape is tested natively; the pipe server only moves the bytes.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "hal/backlight.hpp"
#include "hal/hal_error.hpp"
#include "hal/service_pipe.hpp"

namespace vantrel {

// The two backlight operations a request may run. The service wires backlight_read and
// backlight_write; tests pass doubles.
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

}  // namespace vantrel
