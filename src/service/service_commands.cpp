// `service install` and `service uninstall`: the registration of this executable with the service
// manager. Neither starts nor stops the service.
#include "service/service_commands.hpp"

#include "service/service_name.hpp"

namespace vantrel {
namespace {

// "(code {code})", the code in decimal.
std::string code_text(ServiceManager::ErrorCode code) { return "(code " + std::to_string(code) + ")"; }

std::string manager_error(ServiceManager::ErrorCode code) {
    return "gestionnaire de services inaccessible " + code_text(code) + " : invite administrateur requise";
}

}  // namespace

std::expected<std::string, std::string> install_service(ServiceManager& services) {
    auto manager = services.open_manager();
    if (!manager) return std::unexpected(manager_error(manager.error()));

    const auto path = services.executable_path();
    if (!path) return std::unexpected("chemin de l'exécutable introuvable : " + path.error());
    // Quoted, so a path with blanks names one file for the manager.
    const std::u16string command_line = u"\"" + *path + u"\" --service";

    const auto service = services.create_service(**manager, command_line);
    // Nothing more is asked of the manager.
    manager->reset();
    const std::string name = SERVICE_NAME;
    if (service) {
        return "service " + name + " installé et démarré au prochain reboot\n" +
               "démarrez-le avec : sc start " + name + '\n';
    }
    // The existing registration is left as it is, even if it names another executable.
    if (service.error() == SERVICE_ALREADY_EXISTS) return "le service " + name + " est déjà installé\n";
    return std::unexpected("création du service refusée " + code_text(service.error()));
}

std::expected<std::string, std::string> uninstall_service(ServiceManager& services) {
    const auto manager = services.open_manager();
    if (!manager) return std::unexpected(manager_error(manager.error()));

    const std::string name = SERVICE_NAME;
    const auto service = services.open_service(**manager);
    if (!service) {
        // Only a missing service is "not installed". A service that exists but may not be opened
        // (access refused, say) is still installed: saying otherwise would report success for a
        // removal that did not happen.
        if (service.error() != SERVICE_NOT_INSTALLED)
            return std::unexpected("ouverture du service refusée " + code_text(service.error()));
        return "le service " + name + " n'est pas installé\n";
    }
    const auto deleted = services.delete_service(**service);
    if (!deleted) return std::unexpected("suppression du service refusée " + code_text(deleted.error()));
    // A running service keeps running: no stop control is sent.
    return "service " + name + " désinstallé\n";
}

}  // namespace vantrel
