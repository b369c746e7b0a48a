// `service install` and `service uninstall`: the registration of this executable with the service
// manager. Neither starts nor stops the service.
#include "src/service/service_commands.hpp"

#include <chrono>

#include "src/util/os_error.hpp"
#include "src/util/unicode.hpp"
#include "src/service/service_name.hpp"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// A deletion stays pending while any program (the Services console, a monitoring tool, the
// installer that just removed the previous version) holds the service open; such handles are
// usually closed within seconds, so registration is tried again for this long before giving up.
constexpr std::chrono::milliseconds RETRY_PAUSE = 500ms;
constexpr int RETRY_PAUSES = 60;
constexpr auto RETRY_LIMIT = std::chrono::duration_cast<std::chrono::seconds>(RETRY_PAUSE * RETRY_PAUSES);

std::string manager_error(ServiceManager::ErrorCode code) {
    return "gestionnaire de services inaccessible " + os_error_code(code) + " : invite administrateur requise";
}

// The folder of a file's full path; a drive's root keeps its backslash ("C:\", not "C:", which
// names the current folder of that drive).
std::u16string folder_of(std::u16string_view path) {
    const auto separator = path.rfind(u'\\');
    if (separator == std::u16string_view::npos) return u".";
    const bool drive_root = separator == 2 && path[1] == u':';
    return std::u16string(path.substr(0, drive_root ? separator + 1 : separator));
}

// The service runs, as LocalSystem, the executable and the tools of the framework folder beside
// it; whoever may change one of them, or the folder that holds them, could make it run their own
// code. The framework folder is checked only when there is one: creating it takes the right to
// change its parent folder, which is checked too.
std::expected<void, std::string> check_location(ServiceManager& services, std::u16string_view executable) {
    const std::u16string folder = folder_of(executable);
    const std::u16string framework = folder + (folder.ends_with(u'\\') ? u"framework" : u"\\framework");
    struct Place {
        std::u16string_view path;
        bool may_be_absent;
    };
    for (const Place place : {Place{executable, false}, Place{folder, false}, Place{framework, true}}) {
        const auto open = services.open_to_ordinary_users(place.path);
        if (!open) {
            if (place.may_be_absent && (open.error() == NO_SUCH_FILE || open.error() == NO_SUCH_PATH)) continue;
            return std::unexpected("installation refusée : sécurité de « " + decode_utf16_lossy(place.path) +
                                   " » illisible " + os_error_code(open.error()));
        }
        if (*open) {
            return std::unexpected("installation refusée : des utilisateurs ordinaires peuvent modifier « " +
                                   decode_utf16_lossy(place.path) + " » ; installez Vantrel dans Program Files (paquet MSI)");
        }
    }
    return {};
}

}  // namespace

std::expected<std::string, std::string> install_service(ServiceManager& services) {
    auto manager = services.open_manager();
    if (!manager) return std::unexpected(manager_error(manager.error()));

    const auto path = services.executable_path();
    if (!path) return std::unexpected("chemin de l'exécutable introuvable : " + path.error());
    // Quoted, so a path with blanks names one file for the manager.
    const std::u16string command_line = u"\"" + *path + u"\" --service";
    if (auto location = check_location(services, *path); !location) return std::unexpected(location.error());

    auto service = services.create_service(**manager, command_line);
    for (int pauses = 0; !service && service.error() == SERVICE_DELETION_PENDING && pauses < RETRY_PAUSES; ++pauses) {
        services.wait_before_retry(RETRY_PAUSE);
        service = services.create_service(**manager, command_line);
    }
    // Nothing more is asked of the manager.
    manager->reset();
    const std::string name = SERVICE_NAME;
    if (service) {
        return "service " + name + " installé et démarré au prochain reboot\n" +
               "démarrez-le avec : sc start " + name + '\n';
    }
    // The existing registration is left as it is, even if it names another executable.
    if (service.error() == SERVICE_ALREADY_EXISTS) return "le service " + name + " est déjà installé\n";
    if (service.error() == SERVICE_DELETION_PENDING) {
        return std::unexpected("le service " + name + " est encore en cours de suppression après " +
                               std::to_string(RETRY_LIMIT.count()) + " s " + os_error_code(service.error()) +
                               " : fermez la console Services et les programmes qui l'ouvrent, ou redémarrez "
                               "Windows, puis recommencez");
    }
    return std::unexpected("création du service refusée " + os_error_code(service.error()));
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
            return std::unexpected("ouverture du service refusée " + os_error_code(service.error()));
        return "le service " + name + " n'est pas installé\n";
    }
    const auto deleted = services.delete_service(**service);
    if (!deleted) return std::unexpected("suppression du service refusée " + os_error_code(deleted.error()));
    // A running service keeps running: no stop control is sent.
    return "service " + name + " désinstallé\n";
}

}  // namespace vantrel
