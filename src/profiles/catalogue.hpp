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

// The one error of a load, whatever failed: the commands only show it, so it is its text alone.
// One of: the platform's text for listing the directory or opening or reading a file ("{system
// message} (os error {code})"); "stream did not contain valid UTF-8"; "{path} : {ProfileError's
// message}"; "{path} : fichier trop volumineux pour un profil (plus de 4194304 octets)".
struct LoadError {
    std::string message;
};

// One file's text: decoded, then validated.
[[nodiscard]] std::expected<MachineProfile, ProfileError> parse_profile(std::string_view text);

// Every file of `dir` whose extension is exactly "toml", in byte order of the names. Reads the
// file system only.
[[nodiscard]] std::expected<ProfileCatalogue, LoadError> load_profiles(const std::string& dir);

}  // namespace vantrel
