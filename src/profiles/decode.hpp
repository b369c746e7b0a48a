#pragma once
// Decoding one profile document: TOML 1.1 text to a MachineProfile, or the error that carries the
// TOML layer's report.

#include <expected>
#include <string_view>

#include "src/profiles/profile.hpp"
#include "src/profiles/profile_error.hpp"

namespace vantrel {

// The whole document as UTF-8 (a leading byte-order mark is skipped). On failure, an error of kind
// Toml whose message is "TOML invalide : " and the report of the first fault: "TOML parse error at
// line L, column C", the offending line with a marker under the offending part, and the message as
// the last line. A document nested deeper than 100 levels or naming more than 10,000 tables is
// refused so, before it is parsed.
[[nodiscard]] std::expected<MachineProfile, ProfileError> decode_profile(std::string_view text);

}  // namespace vantrel
