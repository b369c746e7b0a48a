#pragma once
// How the machine is recognised against the catalogue.

#include <string_view>

#include "hal/src/identity.hpp"
#include "src/profiles/catalogue.hpp"

namespace vantrel {

enum class ResolutionKind { Exact, Family, DynamicProbe, Unsupported };

struct Resolution {
    ResolutionKind kind;
    // The matching profile for Exact and Family (a reference into the catalogue, which outlives
    // the resolution); null otherwise.
    const MachineProfile* profile = nullptr;
};

// "exact", "family", "dynamic_probe" or "unsupported".
[[nodiscard]] std::string_view resolution_word(ResolutionKind kind);

// Three phases, first hit wins: exact machine type among model profiles over the whole catalogue,
// then a name fragment among family profiles, then the vendor words. Never fails.
[[nodiscard]] Resolution resolve_machine(const ProfileCatalogue& catalogue, const MachineIdentity& identity);

}  // namespace vantrel
