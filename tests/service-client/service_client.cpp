// service_client.exe: a test program that plays a local client of the service's pipe and talks
// to the service manager, for the end-to-end test and the reliability run.
//   service_client request PIPE HEX            one request (bytes in hex); the reply on stdout
//   service_client hold PIPE SECONDS [INSTANCES]
//                                               holds the pipe name (one instance, or as many as
//                                               INSTANCES allows); prints "prêt" once it does
//   service_client hold-service NAME SECONDS    keeps the service open, as the Services console
//                                               does, so a deletion stays pending; prints "prêt"
//   service_client start|stop|interrogate NAME  StartServiceW / ControlService
//   service_client control NAME CODE            ControlService with any code (128 to 255: user-defined)
//   service_client config NAME                  the stored registration, one value a line (UTF-8):
//                                               command line, display name, type, start, error control, account
//   service_client wait NAME running|stopped SECONDS
//                                               prints "STATE WIN32_EXIT SPECIFIC_EXIT" when reached
//   service_client stress PIPE COUNT            COUNT mixed requests, valid, malformed and abrupt;
//                                               prints the server process's handles and memory
// Exit codes: 0 done, 1 failed (the system code on stderr), 2 usage.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "src/util/file_io_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace {

using vantrel::win32::UniqueHandle;
using vantrel::win32::UniqueFileHandle;
using vantrel::win32::UniqueServiceHandle;
using namespace std::chrono_literals;

int failed(const char* what, DWORD code) {
    std::fprintf(stderr, "%s : code %lu\n", what, static_cast<unsigned long>(code));
    return 1;
}

std::optional<std::string> from_hex(const std::wstring& hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        wchar_t* end = nullptr;
        const std::wstring pair = hex.substr(i, 2);
        const long value = std::wcstol(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) return std::nullopt;
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

// Opens the pipe as the backlight client does (blocking handle), retrying while the server is
// busy or not there yet.
std::pair<UniqueFileHandle, DWORD> open_pipe(const std::wstring& name, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        UniqueFileHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        const DWORD error = pipe ? ERROR_SUCCESS : GetLastError();
        if (pipe || (error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND) ||
            std::chrono::steady_clock::now() > end)
            return {std::move(pipe), error};
        std::this_thread::sleep_for(5ms);
    }
}

// Everything the server sends until it disconnects.
using vantrel::win32::read_all;

bool sent(HANDLE pipe, std::string_view bytes) { return vantrel::win32::write_all(pipe, bytes) == ERROR_SUCCESS; }

int request(const std::wstring& name, const std::wstring& hex) {
    const auto bytes = from_hex(hex);
    if (!bytes) return 2;
    auto [pipe, error] = open_pipe(name);
    if (!pipe) return failed("ouverture du tube", error);
    if (const DWORD error = vantrel::win32::write_all(pipe.get(), *bytes); error != ERROR_SUCCESS)
        return failed("écriture de la requête", error);
    const std::string reply = read_all(pipe.get());
    std::fwrite(reply.data(), 1, reply.size(), stdout);
    return 0;
}

int hold(const std::wstring& name, int seconds, DWORD instances) {
    UniqueFileHandle pipe(
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, instances, 4096, 4096, 0, nullptr));
    if (!pipe) return failed("création du tube", GetLastError());
    std::fputs("prêt\n", stdout);
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}

int control(const std::wstring& verb, const std::wstring& name, DWORD code = 0) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return failed("gestionnaire de services", GetLastError());
    const UniqueServiceHandle service(OpenServiceW(
        manager.get(), name.c_str(), SERVICE_START | SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL));
    if (!service) return failed("ouverture du service", GetLastError());
    if (verb == L"start") {
        if (!StartServiceW(service.get(), 0, nullptr)) return failed("StartServiceW", GetLastError());
        return 0;
    }
    SERVICE_STATUS status{};
    const DWORD what = verb == L"stop" ? SERVICE_CONTROL_STOP : verb == L"control" ? code : SERVICE_CONTROL_INTERROGATE;
    if (!ControlService(service.get(), what, &status)) return failed("ControlService", GetLastError());
    return 0;
}

int wait_state(const std::wstring& name, const std::wstring& state, int seconds) {
    const DWORD wanted = state == L"running" ? SERVICE_RUNNING : SERVICE_STOPPED;
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return failed("gestionnaire de services", GetLastError());
    const UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (!service) return failed("ouverture du service", GetLastError());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    SERVICE_STATUS status{};
    bool reached = false;
    while (QueryServiceStatus(service.get(), &status)) {
        reached = status.dwCurrentState == wanted;
        if (reached || std::chrono::steady_clock::now() > end) break;
        Sleep(20);
    }
    std::printf("%lu %lu %lu\n", static_cast<unsigned long>(status.dwCurrentState),
                static_cast<unsigned long>(status.dwWin32ExitCode),
                static_cast<unsigned long>(status.dwServiceSpecificExitCode));
    return reached ? 0 : 1;
}

int hold_service(const std::wstring& name, int seconds) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return failed("gestionnaire de services", GetLastError());
    const UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (!service) return failed("ouverture du service", GetLastError());
    std::fputs("prêt\n", stdout);
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}

std::string utf8(const wchar_t* text) { return vantrel::win32::to_utf8_lossy(text != nullptr ? text : L""); }

int config(const std::wstring& name) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return failed("gestionnaire de services", GetLastError());
    const UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
    if (!service) return failed("ouverture du service", GetLastError());
    DWORD size = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &size);
    std::vector<std::byte> buffer(size);
    auto* stored = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), stored, size, &size)) return failed("QueryServiceConfigW", GetLastError());
    std::printf("%s\n%s\n%lu\n%lu\n%lu\n%s\n", utf8(stored->lpBinaryPathName).c_str(),
                utf8(stored->lpDisplayName).c_str(), static_cast<unsigned long>(stored->dwServiceType),
                static_cast<unsigned long>(stored->dwStartType), static_cast<unsigned long>(stored->dwErrorControl),
                utf8(stored->lpServiceStartName).c_str());
    return 0;
}

// The stress run: requests of every kind in a fixed pseudo-random mix, each checked for its
// reply shape, and the server process measured before, along the way and after.
struct Measure {
    DWORD handles = 0;
    SIZE_T private_bytes = 0;
    SIZE_T working_set = 0;
};

// Wine answers GetProcessHandleCount for another process with 0; the system handle table
// (NtQuerySystemInformation, class 16) counts them on both systems.
struct SystemHandleEntry {
    ULONG process_id;
    UCHAR object_type;
    UCHAR flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
};
constexpr ULONG SYSTEM_HANDLE_INFORMATION = 16;
constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);

std::optional<DWORD> handle_count(DWORD pid) {
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return std::nullopt;
    std::vector<std::byte> buffer(1 << 20);
    LONG status = 0;
    while ((status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
           STATUS_INFO_LENGTH_MISMATCH)
        buffer.resize(buffer.size() * 2);
    if (status < 0) return std::nullopt;
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    const auto* entries = reinterpret_cast<const SystemHandleEntry*>(buffer.data() + sizeof(void*));
    DWORD mine = 0;
    for (ULONG i = 0; i < count; ++i) mine += entries[i].process_id == pid ? 1 : 0;
    return mine;
}

std::optional<Measure> measure(HANDLE process) {
    Measure m;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    const auto handles = handle_count(GetProcessId(process));
    if (!handles) return std::nullopt;
    m.handles = *handles;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
        return std::nullopt;
    m.private_bytes = memory.PrivateUsage;
    m.working_set = memory.WorkingSetSize;
    return m;
}

void print_measure(const char* when, int done, const Measure& m) {
    std::printf("%s requests %d handles %lu working_set_kib %zu private_kib %zu\n", when, done,
                static_cast<unsigned long>(m.handles), m.working_set / 1024, m.private_bytes / 1024);
    std::fflush(stdout);
}

bool is_reply(const std::string& text) {
    return text.starts_with("{\"applied\":") && text.ends_with("\"}\n") && text.find('\n') == text.size() - 1;
}

int stress(const std::wstring& name, int count) {
    DWORD server_pid = 0;
    {
        auto [pipe, error] = open_pipe(name);
        if (!pipe) return failed("ouverture du tube", error);
        if (!GetNamedPipeServerProcessId(pipe.get(), &server_pid)) return failed("GetNamedPipeServerProcessId", GetLastError());
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, server_pid));
    if (!process) return failed("OpenProcess", GetLastError());
    const auto start = measure(process.get());
    if (!start) return failed("mesure du service", GetLastError());
    print_measure("start", 0, *start);

    const std::string valid[] = {"{\"op\":\"keyboard_read\"}\n", "{\"op\":\"keyboard_write\",\"level\":0}\n",
                                 "{\"op\":\"keyboard_write\",\"level\":2}\n"};
    const std::string malformed[] = {"{\"op\":", "\xEF\xBB\xBF{\"op\":\"keyboard_read\"}", "\xFF\xFE",
                                     "{\"op\":\"keyboard_read\"}{}", "{\"op\":\"keyboard_write\",\"level\":-1}",
                                     "{\"op\":\"KEYBOARD_READ\"}", std::string(5000, '[')};
    std::uint32_t state = 12345;
    int answered = 0;
    int wrong = 0;
    for (int i = 1; i <= count; ++i) {
        state = state * 1103515245u + 12345u;
        const std::uint32_t pick = (state >> 16) % 10;
        auto [pipe, error] = open_pipe(name);
        if (!pipe) return failed("ouverture du tube", error);
        if (pick < 3) {  // valid
            if (sent(pipe.get(), valid[pick])) wrong += is_reply(read_all(pipe.get())) ? 0 : 1, ++answered;
        } else if (pick < 7) {  // malformed
            const std::string& bytes = malformed[(state >> 8) % std::size(malformed)];
            if (sent(pipe.get(), bytes)) {
                const std::string reply = read_all(pipe.get());
                wrong += is_reply(reply) && reply.find("\"applied\":false") != std::string::npos ? 0 : 1;
                ++answered;
            }
        } else if (pick < 9) {  // written, then gone before the reply
            sent(pipe.get(), valid[0]);
        }  // else: connected and gone without a word
        pipe.reset();
        if (i % 100 == 0) {
            if (const auto now = measure(process.get())) print_measure("after", i, *now);
        }
    }
    // Still answering afterwards.
    auto [pipe, error] = open_pipe(name);
    if (!pipe) return failed("ouverture du tube", error);
    const bool last = sent(pipe.get(), valid[0]) && is_reply(read_all(pipe.get()));
    pipe.reset();
    Sleep(500);  // the server's last disconnect
    const auto end = measure(process.get());
    if (end) print_measure("end", count, *end);
    std::printf("answered %d wrong %d still_answering %s\n", answered, wrong, last ? "yes" : "no");
    return wrong == 0 && last ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == L"request") return request(args[1], args[2]);
    if ((args.size() == 3 || args.size() == 4) && args[0] == L"hold")
        return hold(args[1], _wtoi(args[2].c_str()), args.size() == 4 ? static_cast<DWORD>(_wtoi(args[3].c_str())) : 1);
    if (args.size() == 3 && args[0] == L"control")
        return control(args[0], args[1], static_cast<DWORD>(_wtoi(args[2].c_str())));
    if (args.size() == 2 && (args[0] == L"start" || args[0] == L"stop" || args[0] == L"interrogate"))
        return control(args[0], args[1]);
    if (args.size() == 2 && args[0] == L"config") return config(args[1]);
    if (args.size() == 3 && args[0] == L"hold-service") return hold_service(args[1], _wtoi(args[2].c_str()));
    if (args.size() == 4 && args[0] == L"wait") return wait_state(args[1], args[2], _wtoi(args[3].c_str()));
    if (args.size() == 3 && args[0] == L"stress") return stress(args[1], _wtoi(args[2].c_str()));
    std::fputs("usage : service_client request|hold|hold-service|start|stop|interrogate|control|config|wait|stress ...\n", stderr);
    return 2;
}
