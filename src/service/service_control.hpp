#pragma once
// What the service does with a control from the service manager. Windows lets interactive users
// send interrogations and user-defined controls (128 to 255) to any service: only stop and
// shutdown, which the manager grants to administrators, may end it.

#include <cstdint>

namespace vantrel {

enum class ControlAnswer : std::uint8_t {
    Stop,     // stop and shutdown
    Status,   // interrogate: answered with the status last reported, nothing changes
    Refused,  // anything else: ERROR_CALL_NOT_IMPLEMENTED, nothing changes
};

// The control codes (SERVICE_CONTROL_STOP, SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_SHUTDOWN).
inline constexpr std::uint32_t CONTROL_STOP = 1;
inline constexpr std::uint32_t CONTROL_INTERROGATE = 4;
inline constexpr std::uint32_t CONTROL_SHUTDOWN = 5;

[[nodiscard]] constexpr ControlAnswer control_answer(std::uint32_t control) {
    switch (control) {
        case CONTROL_STOP:
        case CONTROL_SHUTDOWN: return ControlAnswer::Stop;
        case CONTROL_INTERROGATE: return ControlAnswer::Status;
        default: return ControlAnswer::Refused;
    }
}

}  // namespace vantrel
