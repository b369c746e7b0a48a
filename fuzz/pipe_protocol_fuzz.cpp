// Requests are whatever a local program writes into the pipe. Whatever they hold, the reply must
// be one compact JSON line of the seven members in order, and at most one operation may run,
// with a level of 0 to 2. Replies are what the client reads back: the same bytes read as a reply
// must not upset it, and the server's own reply must give the client the server's outcome, an
// error's text said once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "src/service/pipe_protocol.hpp"

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel;
    int calls = 0;
    // The first byte picks the backlight's outcome, so both reply shapes are reached.
    const bool fails = size > 0 && (data[0] & 1) != 0;
    const auto outcome = [&]() -> std::expected<KeyboardState, HalError> {
        if (fails) return std::unexpected(HalError{HalErrorKind::Unavailable, "indisponible\n\"«»\""});
        return KeyboardState{.known = true, .source = BacklightSource::Framework, .level = 2, .max_level = 2};
    };
    const BacklightOperations operations{
        .read = [&] { ++calls; return outcome(); },
        .write = [&](std::uint8_t level) { ++calls; check(level <= 2); return outcome(); },
    };
    const std::string reply = handle_request(
        std::string_view(reinterpret_cast<const char*>(data), size), operations);

    check(calls <= 1);
    check(reply.find('\n') == std::string::npos);
    const auto parsed = nlohmann::ordered_json::parse(reply, nullptr, /*allow_exceptions=*/false);
    check(parsed.is_object() && parsed.size() == 7);
    const char* keys[] = {"applied", "available", "known", "level", "max_level", "reason", "source"};
    std::size_t index = 0;
    for (const auto& [key, value] : parsed.items()) check(key == keys[index++]);
    check(parsed.dump() == reply);  // compact

    (void)interpret_reply(std::string_view(reinterpret_cast<const char*>(data), size), BacklightMode::Read);
    const auto read_back = interpret_reply(reply, BacklightMode::Write);
    if (parsed["applied"].get<bool>()) {
        check(read_back.has_value() && *read_back == *outcome());
    } else {
        const std::string reason = parsed["reason"].get<std::string>();
        check(!read_back.has_value());
        // An empty reason reads as the fixed "nothing found" message; any other is said once.
        check(reason.empty() || read_back.error().display() == reason ||
              read_back.error().display() == "ressource non disponible : " + reason);
    }
    return 0;
}
