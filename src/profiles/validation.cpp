#include "src/profiles/validation.hpp"

#include <algorithm>
#include <set>
#include <string_view>

#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

std::unexpected<ProfileError> invalid(const MachineProfile& profile, std::string_view rule) {
    return std::unexpected(invalid_profile(profile.id, rule));
}

// Four ASCII letters or digits, either case. Looser than the machine type read from firmware
// (machine_type_from_product in hal/src/identity.hpp: a digit first, upper case), and meant so:
// firmware's product name is a part number or a model name, and only a digit first tells the part
// number, whose opening is then upper-cased; a profile's entry is declared a machine type and
// written by a person, so only its form is checked, and resolve_machine (src/cli/resolution.cpp)
// compares it with ASCII case folded. An entry opening with a letter passes here and never
// matches; refusing it would change which profiles load.
bool is_well_formed_mtm(std::string_view mtm) { return mtm.size() == 4 && std::ranges::all_of(mtm, is_ascii_alnum); }

}  // namespace

std::expected<void, ProfileError> validate_profile(const MachineProfile& profile) {
    if (profile.schema_version != SUPPORTED_SCHEMA_VERSION) {
        return std::unexpected(unsupported_schema(profile.schema_version));
    }
    if (is_blank(profile.id)) return invalid(profile, "identifiant vide");

    switch (profile.scope) {
        case ProfileScope::Family:
            if (profile.matches.version_contains.empty())
                return invalid(profile, "profil de famille sans nom commercial");
            break;
        case ProfileScope::Model:
            if (profile.matches.mtm.empty()) return invalid(profile, "profil de modèle sans MTM");
            break;
    }

    for (const std::string& mtm : profile.matches.mtm) {
        if (!is_well_formed_mtm(mtm)) return invalid(profile, "MTM mal formé : « " + mtm + " »");
    }

    // Identifiers compare as written: no trimming, no case folding.
    std::set<std::string_view> seen;
    for (const Capability& capability : profile.capabilities) {
        if (!seen.insert(capability.id).second) return invalid(profile, "capacité dupliquée : " + capability.id);
        if (std::ranges::all_of(capability.sources, [](const std::string& source) { return is_blank(source); }))
            return invalid(profile, "capacité " + capability.id + " sans source");
        if (capability.confidence == Confidence::Validated &&
            (!capability.validated_on || is_blank(*capability.validated_on)))
            return invalid(profile, "capacité " + capability.id + " « validated » sans validated_on");
        if (capability.bounds && capability.bounds->min > capability.bounds->max)
            return invalid(profile, "bornes inversées pour " + capability.id);
    }
    return {};
}

}  // namespace vantrel
