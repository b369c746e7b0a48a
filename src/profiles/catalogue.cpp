#include "profiles/catalogue.hpp"

#include <algorithm>

#include "profiles/decode.hpp"
#include "profiles/profile_files.hpp"
#include "profiles/validation.hpp"
#include "hal/unicode.hpp"

namespace vantrel {
namespace {

// The extension is what follows the last dot of the name, and a name whose only dot is its
// first character (".toml") has none. Case matters: "x.TOML" is not kept.
bool has_toml_extension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot != 0 && name.substr(dot + 1) == "toml";
}

}  // namespace

std::expected<MachineProfile, ProfileError> parse_profile(std::string_view text) {
    std::expected<MachineProfile, std::string> decoded = decode_profile(text);
    if (!decoded) {
        return std::unexpected(ProfileError{.kind = ProfileErrorKind::Toml,
                                            .report = std::move(decoded.error()),
                                            .found_schema = 0,
                                            .profile_id = {},
                                            .message = {}});
    }
    if (const std::expected<void, ProfileError> valid = validate_profile(*decoded); !valid)
        return std::unexpected(valid.error());
    return std::move(*decoded);
}

std::expected<ProfileCatalogue, LoadError> load_profiles(const std::string& dir) {
    std::expected<std::vector<std::string>, LoadError> names = list_directory(dir);
    if (!names) return std::unexpected(std::move(names.error()));
    std::erase_if(*names, [](const std::string& name) { return !has_toml_extension(name); });
    // Every path shares `dir`, so comparing the names byte by byte orders the paths component by
    // component.
    std::ranges::sort(*names);

    ProfileCatalogue catalogue;
    catalogue.reserve(names->size());
    for (const std::string& name : *names) {
        const std::string path = join_path(dir, name);
        std::expected<std::string, LoadError> text = read_whole_file(path);
        if (!text) return std::unexpected(std::move(text.error()));
        // Deliberately this exact English text, not a French one: it is the program's contract for
        // a profile file that is not UTF-8.
        if (!is_valid_utf8(*text))
            return std::unexpected(LoadError{LoadErrorKind::NotUtf8, "stream did not contain valid UTF-8"});
        std::expected<MachineProfile, ProfileError> profile = parse_profile(*text);
        if (!profile) {
            return std::unexpected(
                LoadError{LoadErrorKind::InvalidProfile, display_path(path) + " : " + profile.error().display()});
        }
        catalogue.push_back(std::move(*profile));
    }
    return catalogue;
}

}  // namespace vantrel
