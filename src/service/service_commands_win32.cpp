// `service install` and `service uninstall`: the registration of this executable with the service
// manager. Neither starts nor stops the service.
#include <ostream>
#include <string>

#include "service/service_commands.hpp"
#include "hal/unique_handle_win32.hpp"
#include "service/service_name.hpp"
#include "hal/executable_path_win32.hpp"
#include "hal/text_win32.hpp"

namespace vantrel {
namespace {

constexpr const wchar_t* DISPLAY_NAME = L"Vantrel HAL (acc\u00e8s mat\u00e9riel privil\u00e9gi\u00e9)";

std::string manager_error(DWORD code) {
    return "gestionnaire de services inaccessible (code " + std::to_string(code) +
           ") : invite administrateur requise";
}

}  // namespace

std::expected<void, std::string> install_service(std::ostream& out) {
    win32::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return std::unexpected(manager_error(GetLastError()));

    const auto path = win32::executable_path();
    if (!path) return std::unexpected("chemin de l'exécutable introuvable : " + win32::system_message(path.error()));
    // Quoted, so a path with blanks names one file for the manager.
    const std::wstring command_line = L"\"" + *path + L"\" --service";

    win32::UniqueServiceHandle service(CreateServiceW(
        manager.get(), SERVICE_NAME_W, DISPLAY_NAME, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command_line.c_str(), /*load_order_group=*/nullptr,
        /*tag=*/nullptr, /*dependencies=*/nullptr, /*account=*/nullptr, /*password=*/nullptr));
    const DWORD code = GetLastError();
    manager.reset();

    if (service) {
        service.reset();
        out << "service " << SERVICE_NAME << " installé et démarré au prochain reboot\n"
            << "démarrez-le avec : sc start " << SERVICE_NAME << '\n';
        return {};
    }
    if (code == ERROR_SERVICE_EXISTS) {
        // The existing registration is left as it is, even if it names another executable.
        out << "le service " << SERVICE_NAME << " est déjà installé\n";
        return {};
    }
    return std::unexpected("création du service refusée (code " + std::to_string(code) + ")");
}

std::expected<void, std::string> uninstall_service(std::ostream& out) {
    win32::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return std::unexpected(manager_error(GetLastError()));

    win32::UniqueServiceHandle service(OpenServiceW(manager.get(), SERVICE_NAME_W, SERVICE_ALL_ACCESS));
    if (!service) {
        const DWORD open_code = GetLastError();
        manager.reset();
        // Only a missing service is "not installed". A service that exists but may not be opened
        // (access refused, say) is still installed: saying otherwise would report success for a
        // removal that did not happen.
        if (open_code != ERROR_SERVICE_DOES_NOT_EXIST)
            return std::unexpected("ouverture du service refusée (code " + std::to_string(open_code) + ")");
        out << "le service " << SERVICE_NAME << " n'est pas installé\n";
        return {};
    }
    const BOOL deleted = DeleteService(service.get());
    const DWORD code = GetLastError();
    service.reset();
    manager.reset();
    if (!deleted) return std::unexpected("suppression du service refusée (code " + std::to_string(code) + ")");
    // A running service keeps running: no stop control is sent.
    out << "service " << SERVICE_NAME << " désinstallé\n";
    return {};
}

}  // namespace vantrel
