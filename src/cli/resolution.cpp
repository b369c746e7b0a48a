#include "src/cli/resolution.hpp"

#include "src/util/unicode.hpp"
#include "src/cli/vendor.hpp"

namespace vantrel {

std::string_view resolution_word(ResolutionKind kind) {
    switch (kind) {
        case ResolutionKind::Exact: return "exact";
        case ResolutionKind::Family: return "family";
        case ResolutionKind::DynamicProbe: return "dynamic_probe";
        case ResolutionKind::Unsupported: return "unsupported";
    }
    return "unsupported";
}

Resolution resolve_machine(const ProfileCatalogue& catalogue, const MachineIdentity& identity) {
    // The whole catalogue is searched for an exact match before any family is tried, so a model
    // profile wins over a family profile that comes earlier.
    if (identity.mtm) {
        for (const MachineProfile& profile : catalogue) {
            if (profile.scope != ProfileScope::Model) continue;
            for (const std::string& mtm : profile.matches.mtm)
                if (ascii_iequals(mtm, *identity.mtm)) return {ResolutionKind::Exact, &profile};
        }
    }
    if (identity.display_name) {
        const std::string name = ascii_lower(*identity.display_name);
        for (const MachineProfile& profile : catalogue) {
            if (profile.scope != ProfileScope::Family) continue;
            for (const std::string& fragment : profile.matches.version_contains)
                if (name.find(ascii_lower(fragment)) != std::string::npos) return {ResolutionKind::Family, &profile};
        }
    }
    if (is_lenovo_thinkpad(identity) || is_known_vendor(identity)) return {ResolutionKind::DynamicProbe};
    return {ResolutionKind::Unsupported};
}

}  // namespace vantrel
