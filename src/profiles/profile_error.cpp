#include "src/profiles/profile_error.hpp"

namespace vantrel {

std::string ProfileError::display() const {
    switch (kind) {
        case ProfileErrorKind::Toml: return "TOML invalide : " + report;
        case ProfileErrorKind::UnsupportedSchema:
            return "version de schéma " + std::to_string(found_schema) + " non supportée (attendu " +
                   std::to_string(SUPPORTED_SCHEMA_VERSION) + ")";
        case ProfileErrorKind::Invalid: return "profil « " + profile_id + " » : " + message;
    }
    return {};
}

}  // namespace vantrel
