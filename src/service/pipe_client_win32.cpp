#include "src/service/pipe_client.hpp"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "hal/src/backlight_invocation.hpp"
#include "src/util/os_error.hpp"
#include "src/util/overlapped_io_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "src/service/service_name.hpp"

namespace vantrel {

namespace {

// A refused or failed open waits this long before it is tried again, when nothing else waited.
constexpr DWORD BUSY_RETRY_MS = 20;

HalError interrupted() { return HalError::unavailable("service HAL joignable mais échange interrompu"); }

// What the service manager says of VantrelHal: the process it runs in.
ServiceProcess vantrel_hal_process() {
    const win32::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return std::unexpected("gestionnaire de services inaccessible " + os_error_code(GetLastError()));
    const win32::UniqueServiceHandle service(OpenServiceW(manager.get(), SERVICE_NAME_W, SERVICE_QUERY_STATUS));
    if (!service) {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_DOES_NOT_EXIST) return std::unexpected(std::string("non installé"));
        return std::unexpected("illisible " + os_error_code(code));
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed)) {
        return std::unexpected("état illisible " + os_error_code(GetLastError()));
    }
    if (status.dwProcessId == 0) return std::unexpected(std::string("arrêté"));
    return status.dwProcessId;
}

enum class NoPipe { Absent, Busy };

// The pipe opened for this client, waiting while it is busy with another one. The server may act
// on this client's behalf only to identify it, never as it.
std::expected<win32::UniqueFileHandle, NoPipe> open_pipe(const std::wstring& name, std::chrono::seconds busy_limit) {
    const win32::Deadline deadline(busy_limit);
    for (;;) {
        win32::UniqueFileHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, /*no sharing*/ 0,
                                                 nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                                 nullptr));
        if (pipe) return pipe;
        if (GetLastError() != ERROR_PIPE_BUSY) return std::unexpected(NoPipe::Absent);
        const DWORD left = deadline.remaining();
        if (left == 0) return std::unexpected(NoPipe::Busy);
        // Returns once an instance is free, which another client may take first: open again.
        if (!WaitNamedPipeW(name.c_str(), left)) Sleep(std::min(left, BUSY_RETRY_MS));
    }
}

}  // namespace

std::optional<std::expected<std::string, HalError>> exchange_with_service(const PipeClientSettings& settings,
                                                                           const std::string& request) {
    auto pipe = open_pipe(win32::to_utf16(settings.pipe_path), settings.busy_limit);
    if (!pipe) {
        if (pipe.error() == NoPipe::Absent) return std::nullopt;
        return std::unexpected(HalError::unavailable("service HAL occupé par un autre client depuis plus de " +
                                           std::to_string(settings.busy_limit.count()) + " s"));
    }

    ULONG server = 0;
    const std::expected<std::uint32_t, unsigned long> server_process =
        GetNamedPipeServerProcessId(pipe->get(), &server) ? std::expected<std::uint32_t, unsigned long>(server)
                                                          : std::unexpected(GetLastError());
    const ServiceProcess service = settings.service_process ? settings.service_process() : vantrel_hal_process();
    if (auto trusted = trust_pipe_server(settings.pipe_path, server_process, service); !trusted)
        return std::unexpected(std::move(trusted.error()));

    // One bound for the write and the read together.
    const win32::Deadline deadline(settings.exchange_limit);
    const win32::UniqueHandle event(CreateEventW(nullptr, /*manual_reset=*/TRUE, /*signalled=*/FALSE, nullptr));
    if (!event) return std::unexpected(interrupted());

    const win32::IoOutcome wrote = win32::write_with_deadline(pipe->get(), event.get(), request, deadline.remaining());
    if (wrote.wait == win32::IoWait::TimedOut)
        return std::unexpected(HalError::unavailable(backlight_timeout_message(settings.exchange_limit)));
    if (!wrote.ok) return std::unexpected(interrupted());

    std::string reply(PIPE_BUFFER_SIZE, '\0');
    const win32::IoOutcome read = win32::read_with_deadline(pipe->get(), event.get(), reply.data(),
                                                            static_cast<DWORD>(reply.size()), deadline.remaining());
    if (read.wait == win32::IoWait::TimedOut)
        return std::unexpected(HalError::unavailable(backlight_timeout_message(settings.exchange_limit)));
    if (!read.ok) return std::unexpected(interrupted());
    reply.resize(read.bytes);
    return reply;
}

}  // namespace vantrel
