#pragma once

#include <expected>
#include <iosfwd>
#include <string>

namespace vantrel {

// `service install` and `service uninstall`: register or remove the VantrelHal service. They print
// their own progress messages on `out` and return the failure message otherwise.
[[nodiscard]] std::expected<void, std::string> install_service(std::ostream& out);
[[nodiscard]] std::expected<void, std::string> uninstall_service(std::ostream& out);

// `--service`: hands the process to the service manager's dispatcher. Returns 0 when the service
// manager hands control back, 1 (after printing the failure on `err`) when it refused.
[[nodiscard]] int run_service(std::ostream& err);

}  // namespace vantrel
