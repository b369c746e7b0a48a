#include "src/profiles/profile_error.hpp"

namespace vantrel {

ProfileError toml_error(std::string_view report) {
    return {ProfileErrorKind::Toml, "TOML invalide : " + std::string(report)};
}

ProfileError unsupported_schema(std::uint32_t found) {
    return {ProfileErrorKind::UnsupportedSchema, "version de schéma " + std::to_string(found) +
                                                     " non supportée (attendu " +
                                                     std::to_string(SUPPORTED_SCHEMA_VERSION) + ")"};
}

ProfileError invalid_profile(std::string_view id, std::string_view rule) {
    return {ProfileErrorKind::Invalid, "profil « " + std::string(id) + " » : " + std::string(rule)};
}

}  // namespace vantrel
