#include "cli/shipped_actions.hpp"

#include "cli/commands.hpp"
#include "cli/write_output.hpp"
#include "hal/firmware_source.hpp"
#include "service/service_commands.hpp"

namespace vantrel {

CliActions shipped_actions() {
    return CliActions{
        .detect =
            [](const std::string& profiles_dir) {
                const auto firmware = platform_firmware_source();
                return detect(profiles_dir, *firmware, PLATFORM_BACKEND);
            },
        .list_profiles = list_profiles,
        .write_output = write_output,
        .install_service = install_service,
        .uninstall_service = uninstall_service,
        .run_service = run_service,
    };
}

}  // namespace vantrel
