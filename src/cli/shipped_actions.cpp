#include "src/cli/shipped_actions.hpp"

#include "src/cli/commands.hpp"
#include "src/cli/documents.hpp"
#include "src/cli/write_output.hpp"
#include "hal/src/firmware_source.hpp"
#include "src/service/backlight_client.hpp"
#include "src/service/service_commands.hpp"

namespace vantrel {
namespace {

// `service install` or `service uninstall` with the system's service manager, if it has one.
ActionOutcome<std::string> with_platform_service_manager(ActionOutcome<std::string> (*command)(ServiceManager&)) {
    const auto services = platform_service_manager();
    if (!services) return std::unexpected(services.error());
    return command(**services);
}

}  // namespace

CliActions shipped_actions() {
    return CliActions{
        .detect =
            [](const std::string& profiles_dir) {
                const auto firmware = platform_firmware_source();
                return detect(profiles_dir, *firmware, PLATFORM_BACKEND);
            },
        .list_profiles = list_profiles,
        .write_output = write_output,
        .install_service = [] { return with_platform_service_manager(install_service); },
        .uninstall_service = [] { return with_platform_service_manager(uninstall_service); },
        .keyboard =
            [](std::optional<std::uint8_t> level) -> ActionOutcome<std::string> {
                const auto answer = level ? backlight_write(*level) : backlight_read();
                if (!answer) return std::unexpected(answer.error().display());
                return render_keyboard_state(*answer);
            },
        .run_service = run_service,
    };
}

}  // namespace vantrel
