#pragma once
// The rules a decoded profile must also satisfy before it enters the catalogue.

#include <expected>

#include "src/profiles/profile.hpp"
#include "src/profiles/profile_error.hpp"

namespace vantrel {

// Checks the rules in a fixed order and returns the first that fails: schema version, identifier,
// recognition criteria for the scope, machine type codes, then each capability (uniqueness,
// sources, validation record, range).
[[nodiscard]] std::expected<void, ProfileError> validate_profile(const MachineProfile& profile);

}  // namespace vantrel
