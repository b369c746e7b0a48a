#include "src/service/pipe_client.hpp"

namespace vantrel {

// There is no service to reach outside Windows.
std::optional<std::expected<std::string, HalError>> exchange_with_service(const PipeClientSettings&,
                                                                           const std::string&) {
    return std::nullopt;
}

}  // namespace vantrel
