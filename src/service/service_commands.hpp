#pragma once

#include <expected>
#include <string>

#include "src/service/service_manager.hpp"

namespace vantrel {

// `service install` and `service uninstall`: register or remove the VantrelHal service. The value
// is the progress messages, whole lines for standard output; the failure is the message.
// Installation refuses an executable that ordinary users could change or replace, and waits a
// bounded time for a deletion of the service that is still pending.
[[nodiscard]] std::expected<std::string, std::string> install_service(ServiceManager& services);
[[nodiscard]] std::expected<std::string, std::string> uninstall_service(ServiceManager& services);

// `--service`: hands the process to the service manager's dispatcher, until the manager hands
// control back; the failure is the dispatcher's refusal.
[[nodiscard]] std::expected<void, std::string> run_service();

}  // namespace vantrel
