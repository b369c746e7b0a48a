#pragma once
// The catalogue: every profile of one directory, decoded and validated, in file-name order.
// Loading is all or nothing: the first failure is the only result.

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "src/profiles/profile.hpp"
#include "src/profiles/profile_error.hpp"

namespace vantrel {

using ProfileCatalogue = std::vector<MachineProfile>;

enum class LoadErrorKind {
    Io,              // listing the directory, opening or reading a file: the platform's text
    NotUtf8,         // a file whose bytes are not UTF-8
    InvalidProfile,  // a file that does not parse or validate: "{path} : {error}"
    TooLarge,        // a file beyond the size of any profile: "{path} : fichier trop volumineux …"
};

struct LoadError {
    LoadErrorKind kind;
    std::string text;

    // The loader's error text, as the commands embed it after "profils ({dir}) : ".
    [[nodiscard]] std::string display() const { return text; }
};

// One file's text: decoded, then validated.
[[nodiscard]] std::expected<MachineProfile, ProfileError> parse_profile(std::string_view text);

// Every file of `dir` whose extension is exactly "toml", in byte order of the names. Reads the
// file system only.
[[nodiscard]] std::expected<ProfileCatalogue, LoadError> load_profiles(const std::string& dir);

}  // namespace vantrel
