#include "src/service/backlight_client.hpp"

#include <utility>

#include "src/util/os_error.hpp"
#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

std::expected<BacklightAnswer, HalError> run_backlight(BacklightMode mode, std::uint8_t level,
                                                       const BacklightClientSettings& settings) {
    if (auto reply = exchange_with_service(settings.pipe, pipe_request(mode, level))) {
        if (!*reply) return std::unexpected(std::move(reply->error()));
        const auto state = interpret_reply(decode_utf8_lossy(**reply), mode);
        if (!state) return std::unexpected(state.error());
        return BacklightAnswer{*state, AnsweredBy::Service};
    }
    const auto state = run_backlight_script(mode, level, settings.script);
    if (!state) return std::unexpected(state.error());
    return BacklightAnswer{*state, AnsweredBy::Script};
}

}  // namespace

std::string_view answered_by_name(AnsweredBy by) { return by == AnsweredBy::Service ? "service" : "script"; }

std::expected<BacklightAnswer, HalError> backlight_read(const BacklightClientSettings& settings) {
    return run_backlight(BacklightMode::Read, 0, settings);
}

std::expected<BacklightAnswer, HalError> backlight_write(std::uint8_t level, const BacklightClientSettings& settings) {
    return run_backlight(BacklightMode::Write, level, settings);
}

std::expected<void, HalError> trust_pipe_server(std::string_view pipe_path,
                                                const std::expected<std::uint32_t, unsigned long>& server_process,
                                                const ServiceProcess& service_process) {
    if (server_process && service_process && *server_process == *service_process) return {};
    const std::string server = server_process ? "processus " + std::to_string(*server_process)
                                              : "non identifié " + os_error_code(server_process.error());
    const std::string service =
        service_process ? "processus " + std::to_string(*service_process) : service_process.error();
    std::string message = "le serveur du canal ";
    message += pipe_path;
    message += " n'est pas le service VantrelHal (serveur : " + server + " ; service : " + service +
               ") : requête non envoyée";
    return std::unexpected(HalError::unavailable(std::move(message)));
}

}  // namespace vantrel
