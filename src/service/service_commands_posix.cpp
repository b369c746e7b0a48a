// The service exists only on Windows; the native build says so instead of pretending.
#include "src/service/service_commands.hpp"

namespace vantrel {
namespace {
constexpr const char* NO_SERVICE_MANAGER = "service Windows indisponible sur ce système";
}

std::expected<std::unique_ptr<ServiceManager>, std::string> platform_service_manager() {
    return std::unexpected(std::string(NO_SERVICE_MANAGER));
}

std::expected<void, std::string> run_service() { return std::unexpected(std::string(NO_SERVICE_MANAGER)); }

}  // namespace vantrel
