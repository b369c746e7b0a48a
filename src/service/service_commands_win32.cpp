#include <ostream>

#include "service/service_commands.hpp"

namespace vantrel {
namespace {
constexpr const char* NOT_BUILT_YET = "service non disponible dans cette version";
}

std::expected<void, std::string> install_service(std::ostream&) {
    return std::unexpected(std::string(NOT_BUILT_YET));
}

std::expected<void, std::string> uninstall_service(std::ostream&) {
    return std::unexpected(std::string(NOT_BUILT_YET));
}

int run_service(std::ostream& err) {
    err << "erreur : " << NOT_BUILT_YET << '\n';
    err.flush();
    return 1;
}

}  // namespace vantrel
