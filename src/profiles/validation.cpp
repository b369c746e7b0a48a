#include "src/profiles/validation.hpp"

#include <algorithm>
#include <set>
#include <string_view>

#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

std::unexpected<ProfileError> invalid(const MachineProfile& profile, std::string message) {
    return std::unexpected(ProfileError{.kind = ProfileErrorKind::Invalid,
                                        .report = {},
                                        .found_schema = 0,
                                        .profile_id = profile.id,
                                        .message = std::move(message)});
}

// Four ASCII letters or digits, either case.
bool is_well_formed_mtm(std::string_view mtm) {
    return mtm.size() == 4 && std::ranges::all_of(mtm, [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
           });
}

}  // namespace

std::expected<void, ProfileError> validate_profile(const MachineProfile& profile) {
    if (profile.schema_version != SUPPORTED_SCHEMA_VERSION) {
        return std::unexpected(ProfileError{.kind = ProfileErrorKind::UnsupportedSchema,
                                            .report = {},
                                            .found_schema = profile.schema_version,
                                            .profile_id = {},
                                            .message = {}});
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
