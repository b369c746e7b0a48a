// `--service`: the process under the service manager. The main thread sits in the dispatcher and
// runs the control handler; the service thread runs the service main and the pipe server. They
// share only STOP_REQUESTED and STOP_EVENT, both changed by atomic exchange, without a lock.
#include <atomic>
#include <cstdint>
#include <string>

#include "hal/backlight.hpp"
#include "hal/unique_handle_win32.hpp"
#include "service/pipe_server_win32.hpp"
#include "service/service_commands.hpp"
#include "service/service_name.hpp"

namespace vantrel {
namespace {

// Set, never cleared, by the control handler.
std::atomic<std::uint8_t> STOP_REQUESTED{0};
// The stop event while the pipe server may wait on it, empty otherwise, so the handler never
// signals a closed handle.
std::atomic<HANDLE> STOP_EVENT{nullptr};

void report_status(SERVICE_STATUS_HANDLE status_handle, DWORD state, DWORD controls_accepted) {
    SERVICE_STATUS status{
        .dwServiceType = SERVICE_WIN32_OWN_PROCESS,
        .dwCurrentState = state,
        .dwControlsAccepted = controls_accepted,
        .dwWin32ExitCode = NO_ERROR,
        .dwServiceSpecificExitCode = 0,
        .dwCheckPoint = 0,
        .dwWaitHint = 0,
    };
    SetServiceStatus(status_handle, &status);
}

// Every control ends the service, whatever its code: only stop is declared, so anything else
// that arrives (an interrogation) is treated the same way. That is the service's contract, kept
// on purpose, not a missing switch.
DWORD WINAPI service_control_handler(DWORD, DWORD, void*, void*) {
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
    report_status(status_handle, SERVICE_START_PENDING, SERVICE_ACCEPT_STOP);
    report_status(status_handle, SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
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
            const BacklightOperations backlight{.read = backlight_read, .write = backlight_write};
            (void)serve_pipe(PipeServerSettings{}, STOP_REQUESTED, stop_event.get(), connect_event.get(), backlight);
        }
    } catch (...) {
        // The stopped status below is all that is left to report.
    }
    report_status(status_handle, SERVICE_STOPPED, 0);
}

}  // namespace

std::expected<void, std::string> run_service() {
    SERVICE_TABLE_ENTRYW dispatch_table[] = {
        {const_cast<wchar_t*>(SERVICE_NAME_W), service_main},
        {nullptr, nullptr},
    };
    if (StartServiceCtrlDispatcherW(dispatch_table)) return {};
    const DWORD code = GetLastError();
    return std::unexpected("démarrage par le Gestionnaire de services refusé (code " + std::to_string(code) + ")");
}

}  // namespace vantrel
