#include "src/service/pipe_protocol.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

using Json = nlohmann::json;

constexpr std::string_view NOT_UTF8 = "requête non UTF-8";
constexpr std::string_view UNREADABLE = "requête illisible : ";
constexpr std::string_view UNKNOWN_OPERATION = "opération inconnue : ";
constexpr std::string_view LEVEL_MISSING = "niveau manquant";
// The reader skips a leading byte-order mark without a word, so it never describes this fault.
constexpr std::string_view BYTE_ORDER_MARK_FAULT =
    "marque d'ordre des octets UTF-8 en tête de requête (ligne 1, colonne 1)";

// Replies carry texts from requests and from the backlight back end; a text that is somehow not
// UTF-8 must still give a reply, never an exception.
std::string compact(const Json& document) {
    return document.dump(-1, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
}

// The reply's members are written in byte order of their names, which is the order of Json's
// own object map.
Json reply(bool ok, bool known, std::uint8_t level, std::uint8_t max_level, std::string_view reason,
           std::string_view source) {
    return Json{{"applied", ok},      {"available", ok},  {"known", known},  {"level", level},
                {"max_level", max_level}, {"reason", reason}, {"source", source}};
}

std::expected<Json, std::string> parse_request(std::string_view text) {
    if (text.starts_with(UTF8_BYTE_ORDER_MARK)) return std::unexpected(std::string(BYTE_ORDER_MARK_FAULT));
    try {
        // Strict: no comments, one value, only white space after it.
        return Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/true,
                           /*ignore_comments=*/false);
    } catch (const Json::exception& fault) {
        // Not only parse errors: a number beyond the double range ("1e400") is reported as out
        // of range while parsing, and must not escape to the server loop.
        return std::unexpected(std::string(fault.what()));
    }
}

std::string operation_name(const Json& request) {
    if (!request.is_object()) return {};
    const auto op = request.find("op");
    if (op == request.end() || !op->is_string()) return {};
    return op->get<std::string>();
}

// A JSON integer of zero or more written without sign, fraction or exponent: the reader keeps
// exactly those as unsigned numbers (it reads "-0" as signed and "1e0" or "1.0" as floating).
std::expected<std::uint8_t, std::string_view> requested_level(const Json& request) {
    const auto level = request.find("level");
    if (level == request.end() || !level->is_number_unsigned()) return std::unexpected(LEVEL_MISSING);
    return limit_backlight_level(level->get<std::uint64_t>());
}

}  // namespace

std::string success_reply(const KeyboardState& state) {
    return compact(reply(true, state.known, state.level, state.max_level, "", source_name(state.source)));
}

std::string failure_reply(std::string_view reason) {
    return compact(reply(false, false, 0, 0, reason, ""));
}

std::string handle_request(std::string_view received, const BacklightOperations& operations) {
    received = received.substr(0, std::min(received.size(), PIPE_BUFFER_SIZE));
    if (!is_valid_utf8(received)) return failure_reply(NOT_UTF8);

    const auto request = parse_request(trim_white_space(received));
    if (!request) return failure_reply(std::string(UNREADABLE) + request.error());

    const std::string name = operation_name(*request);
    std::expected<KeyboardState, HalError> outcome;
    if (name == "keyboard_write") {
        const auto level = requested_level(*request);
        if (!level) return failure_reply(level.error());
        outcome = operations.write(*level);
    } else if (name == "keyboard_read") {
        outcome = operations.read();
    } else {
        return failure_reply(std::string(UNKNOWN_OPERATION) + name);
    }
    if (!outcome) return failure_reply(outcome.error().display());
    return success_reply(*outcome);
}

std::string pipe_request(BacklightMode mode, std::uint8_t level) {
    if (mode == BacklightMode::Write) return R"({"op":"keyboard_write","level":)" + std::to_string(level) + "}\n";
    return "{\"op\":\"keyboard_read\"}\n";
}

std::expected<KeyboardState, HalError> interpret_reply(std::string_view reply, BacklightMode mode) {
    std::expected<KeyboardState, HalError> state = interpret_backlight_output(reply, mode);
    // Only a failure reply gives an Unavailable error whose message is the service's reason.
    if (state || state.error().kind != HalErrorKind::Unavailable) return state;
    std::string& reason = state.error().message;
    for (const HalErrorKind kind : {HalErrorKind::Unavailable, HalErrorKind::AccessDenied, HalErrorKind::InvalidData}) {
        const std::string_view prefix = prefix_of(kind);
        if (reason.starts_with(prefix)) return std::unexpected(HalError{kind, reason.substr(prefix.size())});
    }
    return state;
}

}  // namespace vantrel
