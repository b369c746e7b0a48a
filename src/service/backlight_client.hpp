#pragma once
// The keyboard backlight for a user's command: through the service when it answers, otherwise the
// script run in this process, with the user's own rights.

#include <cstdint>
#include <expected>
#include <string_view>

#include "hal/src/backlight.hpp"
#include "hal/src/hal_error.hpp"
#include "src/service/pipe_client.hpp"

namespace vantrel {

// Who carried the operation out.
enum class AnsweredBy : std::uint8_t { Service, Script };

// "service" or "script".
[[nodiscard]] std::string_view answered_by_name(AnsweredBy by);

struct BacklightAnswer {
    KeyboardState state;
    AnsweredBy by;

    friend bool operator==(const BacklightAnswer&, const BacklightAnswer&) = default;
};

struct BacklightClientSettings {
    PipeClientSettings pipe;
    BacklightScriptSettings script;
};

[[nodiscard]] std::expected<BacklightAnswer, HalError> backlight_read(const BacklightClientSettings& settings = {});
// `level` is 0 to MAX_BACKLIGHT_LEVEL, limited where it came in.
[[nodiscard]] std::expected<BacklightAnswer, HalError> backlight_write(std::uint8_t level,
                                                                      const BacklightClientSettings& settings = {});

}  // namespace vantrel
