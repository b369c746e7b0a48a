// The script's output and the service's reply come from outside the program: whatever the bytes,
// reading them must end in a state that keeps its bounds or in an error with a message.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hal/src/backlight.hpp"

namespace {

void check(std::string_view text, vantrel::BacklightMode mode) {
    const auto result = vantrel::interpret_backlight_output(text, mode);
    if (result) {
        if (result->max_level < 1 || result->max_level > 2 || result->level > result->max_level) __builtin_trap();
    } else {
        if (result.error().message.empty() || result.error().kind == vantrel::HalErrorKind::AccessDenied) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check(text, vantrel::BacklightMode::Read);
    check(text, vantrel::BacklightMode::Write);
    return 0;
}
