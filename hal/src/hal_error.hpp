#pragma once
// The one error value of all hardware-facing code: firmware table, identification, backlight and
// the pipe service. A kind the caller can act on and a French message; no chained cause.

#include <string>
#include <string_view>
#include <utility>

namespace vantrel {

enum class HalErrorKind { Unavailable, AccessDenied, InvalidData };

struct HalError {
    HalErrorKind kind;
    std::string message;  // French, without the kind's prefix

    // One error of each kind, for a message whose kind needs no further saying.
    [[nodiscard]] static HalError unavailable(std::string message) {
        return {HalErrorKind::Unavailable, std::move(message)};
    }
    [[nodiscard]] static HalError access_denied(std::string message) {
        return {HalErrorKind::AccessDenied, std::move(message)};
    }
    [[nodiscard]] static HalError invalid_data(std::string message) {
        return {HalErrorKind::InvalidData, std::move(message)};
    }

    // The only text form: the kind's prefix immediately followed by the message.
    [[nodiscard]] std::string display() const;
};

[[nodiscard]] constexpr std::string_view prefix_of(HalErrorKind kind) {
    switch (kind) {
        case HalErrorKind::Unavailable: return "ressource non disponible : ";
        case HalErrorKind::AccessDenied: return "accès refusé : ";
        case HalErrorKind::InvalidData: return "données invalides : ";
    }
    return "";
}

inline std::string HalError::display() const {
    std::string text(prefix_of(kind));
    text += message;
    return text;
}

}  // namespace vantrel
