// `--service`: the process under the service manager. The main thread sits in the dispatcher and
// runs the control handler; the service thread runs the service main and the pipe server. They
// share only STOP_REQUESTED and STOP_EVENT, both changed by atomic exchange, without a lock.
#include <atomic>
#include <cstdint>
#include <string>

#include "hal/src/backlight.hpp"
#include "src/util/os_error.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "src/service/pipe_server_win32.hpp"
#include "src/service/service_commands.hpp"
#include "src/service/service_control.hpp"
#include "src/service/service_name.hpp"

namespace vantrel {
namespace {

// Set, never cleared, by the control handler.
std::atomic<std::uint8_t> STOP_REQUESTED{0};
// The stop event while the pipe server may wait on it, empty otherwise, so the handler never
// signals a closed handle.
std::atomic<HANDLE> STOP_EVENT{nullptr};

// The controls the manager may deliver while the service runs; only administrators may send them.
constexpr DWORD CONTROLS_ACCEPTED = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;

static_assert(CONTROL_STOP == SERVICE_CONTROL_STOP && CONTROL_INTERROGATE == SERVICE_CONTROL_INTERROGATE &&
              CONTROL_SHUTDOWN == SERVICE_CONTROL_SHUTDOWN);

void report_status(SERVICE_STATUS_HANDLE status_handle, DWORD state, DWORD controls_accepted,
                   DWORD exit_code = NO_ERROR) {
    SERVICE_STATUS status{
        .dwServiceType = SERVICE_WIN32_OWN_PROCESS,
        .dwCurrentState = state,
        .dwControlsAccepted = controls_accepted,
        .dwWin32ExitCode = exit_code,
        .dwServiceSpecificExitCode = 0,
        .dwCheckPoint = 0,
        .dwWaitHint = 0,
    };
    SetServiceStatus(status_handle, &status);
}

// Stop and shutdown end the service. An interrogation changes nothing: returning NO_ERROR lets the
// manager answer with the status last reported. Anything else (the user-defined codes any
// interactive user may send) is refused and changes nothing.
DWORD WINAPI service_control_handler(DWORD control, DWORD, void*, void*) {
    switch (control_answer(control)) {
        case ControlAnswer::Status: return NO_ERROR;
        case ControlAnswer::Refused: return ERROR_CALL_NOT_IMPLEMENTED;
        case ControlAnswer::Stop: break;
    }
    STOP_REQUESTED.exchange(1);
    // Taken out of the slot while it is signalled and put back after, so that the service thread,
    // which withdraws it before closing it, cannot close it in between.
    if (const HANDLE stop_event = STOP_EVENT.exchange(nullptr); stop_event != nullptr) {
        SetEvent(stop_event);
        STOP_EVENT.exchange(stop_event);
    }
    return NO_ERROR;
}

// Takes the stop event back out of the slot before it is closed. An empty slot means the control
// handler holds it for the one SetEvent call above: wait for it to be put back.
void withdraw_stop_event() {
    while (STOP_EVENT.exchange(nullptr) == nullptr) SwitchToThread();
}

void WINAPI service_main(DWORD, wchar_t**) {
    const SERVICE_STATUS_HANDLE status_handle =
        RegisterServiceCtrlHandlerExW(SERVICE_NAME_W, service_control_handler, /*context=*/nullptr);
    if (status_handle == nullptr) return;
    // Running before any resource exists: what fails below only shortens the run.
    report_status(status_handle, SERVICE_START_PENDING, CONTROLS_ACCEPTED);
    report_status(status_handle, SERVICE_RUNNING, CONTROLS_ACCEPTED);
    // What ended the service: a stop, or the system's error code of what could not be created,
    // which the manager shows (sc query) as the service's exit code.
    DWORD exit_code = NO_ERROR;
    // Nothing may end this thread without the stopped status: the manager would show the service
    // running for ever. Requests are answered whatever they throw; this is for the rest (no
    // memory for the settings).
    try {
        win32::UniqueHandle stop_event(CreateEventW(nullptr, /*manual_reset=*/TRUE, /*signalled=*/FALSE, nullptr));
        win32::UniqueHandle connect_event;
        if (stop_event) connect_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (stop_event && connect_event) {
            // Published before the server runs; a stop that came earlier is seen through the flag,
            // which the server reads before each connection.
            STOP_EVENT.exchange(stop_event.get());
            // Withdrawn before the event is closed, on every way out.
            const ScopeExit withdraw{withdraw_stop_event};
            // The service carries requests out itself, with the script; it never dials its own pipe.
            const BacklightOperations backlight{
                .read = [] { return run_backlight_script(BacklightMode::Read, 0); },
                .write = [](std::uint8_t level) { return run_backlight_script(BacklightMode::Write, level); },
            };
            const auto ended = serve_pipe(PipeServerSettings{}, STOP_REQUESTED, stop_event.get(), connect_event.get(),
                                          backlight);
            if (!ended) exit_code = ended.error();
        } else {
            exit_code = GetLastError();
        }
    } catch (...) {
        exit_code = ERROR_NOT_ENOUGH_MEMORY;
    }
    report_status(status_handle, SERVICE_STOPPED, 0, exit_code);
}

}  // namespace

std::expected<void, std::string> run_service() {
    SERVICE_TABLE_ENTRYW dispatch_table[] = {
        {const_cast<wchar_t*>(SERVICE_NAME_W), service_main},
        {nullptr, nullptr},
    };
    if (StartServiceCtrlDispatcherW(dispatch_table)) return {};
    const DWORD code = GetLastError();
    return std::unexpected("démarrage par le Gestionnaire de services refusé " + os_error_code(code));
}

}  // namespace vantrel
