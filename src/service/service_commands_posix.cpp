// The service exists only on Windows; the native build says so instead of pretending.
#include <ostream>

#include "service/service_commands.hpp"

namespace vantrel {
namespace {
constexpr const char* NO_SERVICE_MANAGER = "service Windows indisponible sur ce système";
}

std::expected<void, std::string> install_service(std::ostream&) {
    return std::unexpected(std::string(NO_SERVICE_MANAGER));
}

std::expected<void, std::string> uninstall_service(std::ostream&) {
    return std::unexpected(std::string(NO_SERVICE_MANAGER));
}

int run_service(std::ostream& err) {
    err << "erreur : " << NO_SERVICE_MANAGER << '\n';
    err.flush();
    return 1;
}

}  // namespace vantrel
