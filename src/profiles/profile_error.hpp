#pragma once
// The error of one profile file: it did not decode, it follows another schema version, or it
// breaks one of the profile rules.

#include <cstdint>
#include <string>

namespace vantrel {

// The only schema version this program reads.
inline constexpr std::uint32_t SUPPORTED_SCHEMA_VERSION = 1;

enum class ProfileErrorKind { Toml, UnsupportedSchema, Invalid };

struct ProfileError {
    ProfileErrorKind kind;
    std::string report;             // Toml: the decoder's whole report
    std::uint32_t found_schema = 0;  // UnsupportedSchema: the version the file declares
    std::string profile_id;         // Invalid: the profile's `id` exactly as written
    std::string message;            // Invalid: the rule's message

    // "TOML invalide : …", "version de schéma … non supportée (attendu 1)" or "profil « … » : …".
    [[nodiscard]] std::string display() const;

    friend bool operator==(const ProfileError&, const ProfileError&) = default;
};

}  // namespace vantrel
