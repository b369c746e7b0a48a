#include "src/cli/commands.hpp"

#include "src/cli/documents.hpp"
#include "src/cli/resolution.hpp"
#include "hal/src/identity.hpp"
#include "src/profiles/catalogue.hpp"

namespace vantrel {
namespace {

std::expected<ProfileCatalogue, std::string> load_catalogue(const std::string& profiles_dir) {
    auto catalogue = load_profiles(profiles_dir);
    if (!catalogue) return std::unexpected("profils (" + profiles_dir + ") : " + catalogue.error().message);
    return std::move(*catalogue);
}

}  // namespace

std::expected<std::string, std::string> detect(const std::string& profiles_dir, FirmwareSource& firmware,
                                               std::string_view backend) {
    const auto catalogue = load_catalogue(profiles_dir);
    if (!catalogue) return std::unexpected(catalogue.error());
    const auto identity = identify_machine(firmware);
    if (!identity) return std::unexpected(identity.error().display());
    const Resolution resolution = resolve_machine(*catalogue, *identity);
    return render_detection_report(backend, *identity, resolution, catalogue->size());
}

std::expected<std::string, std::string> list_profiles(const std::string& profiles_dir) {
    const auto catalogue = load_catalogue(profiles_dir);
    if (!catalogue) return std::unexpected(catalogue.error());
    return render_profile_listing(*catalogue);
}

}  // namespace vantrel
