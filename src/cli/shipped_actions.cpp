#include "cli/shipped_actions.hpp"

#include <ostream>

#include "service/service_commands.hpp"

namespace vantrel {
namespace {

std::expected<std::string, std::string> not_built_yet(const std::string&) {
    return std::unexpected(std::string("commande non disponible dans cette version"));
}

int write_output_not_built_yet(std::string_view, const std::optional<std::string>&, std::ostream&,
                               std::ostream& err) {
    err << "erreur : écriture du document non disponible dans cette version\n";
    return 1;
}

}  // namespace

CliActions shipped_actions() {
    return CliActions{
        .detect = not_built_yet,
        .list_profiles = not_built_yet,
        .write_output = write_output_not_built_yet,
        .install_service = install_service,
        .uninstall_service = uninstall_service,
        .run_service = run_service,
    };
}

}  // namespace vantrel
