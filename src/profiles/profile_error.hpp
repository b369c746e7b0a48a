#pragma once
// The error of one profile file: it did not decode, it follows another schema version, or it
// breaks one of the profile rules. The kind tells these apart for a caller that looks at the
// profile itself (the fuzz target checks the decoder's report by it); the loader shows the message.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// The only schema version this program reads.
inline constexpr std::uint32_t SUPPORTED_SCHEMA_VERSION = 1;

enum class ProfileErrorKind { Toml, UnsupportedSchema, Invalid };

// Both fields hold for every kind; the text is made once, by the functions below.
struct ProfileError {
    ProfileErrorKind kind;
    std::string message;  // the whole text, as the loader shows it after "{path} : "

    friend bool operator==(const ProfileError&, const ProfileError&) = default;
};

// "TOML invalide : {report}", the decoder's whole report.
[[nodiscard]] ProfileError toml_error(std::string_view report);

// "version de schéma {found} non supportée (attendu 1)".
[[nodiscard]] ProfileError unsupported_schema(std::uint32_t found);

// "profil « {id} » : {rule}", the profile's `id` exactly as written.
[[nodiscard]] ProfileError invalid_profile(std::string_view id, std::string_view rule);

}  // namespace vantrel
