#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hal/backlight.hpp"
#include "hal/backlight_invocation.hpp"
#include "hal/unicode.hpp"
#include "hal/executable_path_win32.hpp"
#include "hal/text_win32.hpp"
#include "hal/unique_handle_win32.hpp"

namespace vantrel {

namespace {

using win32::UniqueHandle;
using win32::UniqueFileHandle;

constexpr DWORD PIPE_REPLY_BYTES = 4096;
// The script prints one short line; anything longer than this is cut, and so unreadable.
constexpr std::size_t SCRIPT_OUTPUT_KEPT = 1 << 20;

HalError unavailable(std::string message) { return HalError{HalErrorKind::Unavailable, std::move(message)}; }

DWORD milliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<DWORD>(left.count());
}

// One overlapped transfer bounded by the deadline. Only a pending transfer is waited for: after an
// immediate failure, waiting on its result can block for ever (seen under Wine).
enum class Transfer { Done, Failed, TimedOut };

Transfer finish_transfer(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD& bytes,
                         std::chrono::steady_clock::time_point deadline) {
    if (started) return GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) ? Transfer::Done : Transfer::Failed;
    if (GetLastError() != ERROR_IO_PENDING) return Transfer::Failed;
    if (WaitForSingleObject(overlapped.hEvent, milliseconds(deadline)) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, &bytes, /* wait for the cancel */ TRUE);
        return Transfer::TimedOut;
    }
    return GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) ? Transfer::Done : Transfer::Failed;
}

// Absent when the pipe cannot be opened; then the caller runs the script itself.
std::optional<std::expected<std::string, HalError>> exchange_over_pipe(const std::string& pipe_path,
                                                                        const std::string& request,
                                                                        std::chrono::seconds limit) {
    // Overlapped only so that the wait for the reply can be bounded.
    UniqueFileHandle pipe(CreateFileW(win32::to_utf16(pipe_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  /* no sharing */ 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!pipe) return std::nullopt;

    const auto deadline = std::chrono::steady_clock::now() + limit;
    UniqueHandle event(CreateEventW(nullptr, /* manual reset */ TRUE, FALSE, nullptr));
    if (!event) return std::unexpected(unavailable("service HAL joignable mais échange interrompu"));

    OVERLAPPED writing{};
    writing.hEvent = event.get();
    DWORD written = 0;
    const BOOL write_started =
        WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &written, &writing);
    const Transfer wrote = finish_transfer(pipe.get(), writing, write_started, written, deadline);
    if (wrote == Transfer::TimedOut) return std::unexpected(unavailable(backlight_timeout_message(limit)));
    if (wrote == Transfer::Failed) return std::unexpected(unavailable("service HAL joignable mais échange interrompu"));

    ResetEvent(event.get());
    std::string reply(PIPE_REPLY_BYTES, '\0');
    OVERLAPPED reading{};
    reading.hEvent = event.get();
    DWORD received = 0;
    const BOOL read_started = ReadFile(pipe.get(), reply.data(), PIPE_REPLY_BYTES, &received, &reading);
    const Transfer read = finish_transfer(pipe.get(), reading, read_started, received, deadline);
    if (read == Transfer::TimedOut) return std::unexpected(unavailable(backlight_timeout_message(limit)));
    if (read == Transfer::Failed) return std::unexpected(unavailable("service HAL joignable mais échange interrompu"));
    reply.resize(received);
    return reply;
}

// A path that a Win32 call writes into a buffer of the given size, returning the length without
// the NUL when it fits, the size needed otherwise, and 0 on failure (GetLastError tells why).
template <typename Call>
std::expected<std::wstring, DWORD> path_from(Call call) {
    std::wstring path(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = call(path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::unexpected(GetLastError());
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);

// Where the script goes. For LocalSystem, GetTempPath2W gives a directory that ordinary users
// cannot write into (C:\Windows\SystemTemp). Windows 10 and Server 2016 have it only once their
// March 2025 updates are installed (KB5053594), and Wine 8 not at all: it is looked up at run time,
// and GetTempPathW serves where it is missing.
std::expected<std::wstring, DWORD> temporary_directory() {
    GetTempPath2Function get_temp_path2 = nullptr;
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (const FARPROC address = GetProcAddress(kernel, "GetTempPath2W")) {
            // Through the generic function type, which converts to any other without a warning.
            get_temp_path2 = reinterpret_cast<GetTempPath2Function>(reinterpret_cast<void (*)()>(address));
        }
    }
    return path_from([get_temp_path2](wchar_t* buffer, DWORD size) {
        return get_temp_path2 != nullptr ? get_temp_path2(size, buffer) : GetTempPathW(size, buffer);
    });
}

// Windows PowerShell by its absolute path, under the system directory. The program search is never
// used: it looks first in the folder of vantrel.exe, and the service runs as LocalSystem.
std::expected<std::wstring, DWORD> system_powershell() {
    auto directory = path_from([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    if (!directory) return directory;
    if (!directory->ends_with(L'\\')) *directory += L'\\';
    return *directory + L"WindowsPowerShell\\v1.0\\powershell.exe";
}

// The directory of the running executable joined with "framework"; empty when it is unknown.
std::string framework_directory() {
    auto executable = win32::executable_path();
    if (!executable) return {};
    std::wstring& path = *executable;
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    path.resize(slash + 1);
    path += L"framework";
    return win32::to_utf8(path).value_or(std::string());
}

// Deletes the script file whatever happens after its creation.
class ScriptFile {
public:
    explicit ScriptFile(std::wstring path) : path_(std::move(path)) {}
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    ~ScriptFile() { DeleteFileW(path_.c_str()); }

private:
    std::wstring path_;
};

// The temporary directory is shared and the name predictable: whatever already has the name (a
// link, or a file another account planted) is removed, and the new file must be created by us.
std::expected<void, HalError> write_script(const std::wstring& path, std::string_view text) {
    DeleteFileW(path.c_str());
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, /* no sharing while written */ 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return std::unexpected(unavailable("script de rétroéclairage non créé : " + win32::system_message(error)));
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        const DWORD error = GetLastError();
        return std::unexpected(unavailable("script de rétroéclairage non créé : " + win32::system_message(error)));
    }
    return {};
}

// Reads one stream to its end on its own thread, so that a child filling one pipe never waits
// on us reading the other. At most `keep` bytes are kept and the rest is read and dropped: an
// endless output neither blocks the child nor exhausts the service's memory.
class StreamReader {
public:
    StreamReader(UniqueHandle pipe, std::size_t keep)
        : pipe_(std::move(pipe)), keep_(keep), thread_([this] { drain(); }) {}
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;
    ~StreamReader() {
        if (thread_.joinable()) thread_.join();
    }

    // What was kept; what the reading thread could not handle (no memory for the text) is
    // thrown here, on the caller's thread.
    std::string finish() {
        thread_.join();
        if (failure_) std::rethrow_exception(failure_);
        return std::move(text_);
    }

private:
    void drain() noexcept {
        std::array<char, 4096> chunk{};
        DWORD got = 0;
        while (ReadFile(pipe_.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got > 0) {
            if (failure_ || text_.size() >= keep_) continue;
            try {
                text_.append(chunk.data(), std::min<std::size_t>(got, keep_ - text_.size()));
            } catch (...) {
                failure_ = std::current_exception();
            }
        }
    }

    UniqueHandle pipe_;
    std::size_t keep_;
    std::string text_;
    std::exception_ptr failure_;
    std::thread thread_;
};

struct Pipe {
    UniqueHandle read;
    UniqueHandle write;
};

std::optional<Pipe> inheritable_write_pipe() {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return std::nullopt;
    Pipe pipe{UniqueHandle(read), UniqueHandle(write)};
    // Only the child's end is inherited.
    SetHandleInformation(pipe.read.get(), HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

struct ProcessOutcome {
    DWORD exit_code;
    std::string standard_output;
};

std::expected<ProcessOutcome, HalError> run_powershell(const std::wstring& program,
                                                       const std::vector<std::string>& arguments,
                                                       std::chrono::seconds limit) {
    auto start_failure = [](DWORD error) {
        return std::unexpected(unavailable("PowerShell indisponible : " + win32::system_message(error)));
    };
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueFileHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    auto output = inheritable_write_pipe();
    auto error = inheritable_write_pipe();
    if (!input || !output || !error) return start_failure(GetLastError());

    // Everything PowerShell starts belongs to the job, so that a time-out ends all of it.
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return start_failure(GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));

    std::array<HANDLE, 3> inherited{input.get(), output->write.get(), error->write.get()};
    SIZE_T list_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    std::vector<unsigned char> list_storage(list_size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &list_size)) return start_failure(GetLastError());
    struct ListOwner {
        LPPROC_THREAD_ATTRIBUTE_LIST list;
        ~ListOwner() { DeleteProcThreadAttributeList(list); }
    } list_owner{attributes};
    // Only these three handles reach the child, whatever else this process holds.
    if (!UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                   sizeof(HANDLE) * inherited.size(), nullptr, nullptr)) {
        return start_failure(GetLastError());
    }

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input.get();
    startup.StartupInfo.hStdOutput = output->write.get();
    startup.StartupInfo.hStdError = error->write.get();
    startup.lpAttributeList = attributes;

    std::wstring command_line =
        win32::to_utf16(windows_command_line(win32::to_utf8(program).value_or("powershell.exe"), arguments));
    PROCESS_INFORMATION started{};
    // The application name is given, so the system starts that very file and searches nothing.
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, /* inherit handles */ TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                        &startup.StartupInfo, &started)) {
        return start_failure(GetLastError());
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD code = GetLastError();
        TerminateProcess(process.get(), 1);
        return start_failure(code);
    }
    ResumeThread(thread.get());

    // The child holds the write ends now; ours must go for the readers to see the end.
    output->write.reset();
    error->write.reset();
    input.reset();
    std::optional<StreamReader> out_reader;
    std::optional<StreamReader> err_reader;
    // Declared after the readers, so ended before them on every way out, an exception included:
    // their threads see the pipes close and can be joined.
    struct JobEnd {
        HANDLE job;
        ~JobEnd() { TerminateJobObject(job, 1); }
    } const job_end{job.get()};
    out_reader.emplace(std::move(output->read), SCRIPT_OUTPUT_KEPT);
    err_reader.emplace(std::move(error->read), /* standard error is never looked at */ 0);

    const DWORD limit_ms = static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count());
    const bool ended = WaitForSingleObject(process.get(), limit_ms) == WAIT_OBJECT_0;
    // Also after a normal end: anything PowerShell left running would keep the pipes open.
    TerminateJobObject(job.get(), 1);
    if (!ended) WaitForSingleObject(process.get(), INFINITE);
    std::string standard_output = out_reader->finish();
    err_reader->finish();
    if (!ended) return std::unexpected(unavailable(backlight_timeout_message(limit)));

    DWORD exit_code = 1;
    GetExitCodeProcess(process.get(), &exit_code);
    return ProcessOutcome{exit_code, std::move(standard_output)};
}

std::expected<KeyboardState, HalError> run_script(std::string_view mode, std::uint8_t level,
                                                  const BacklightChannel& channel) {
    const auto directory = temporary_directory();
    if (!directory) {
        return std::unexpected(
            unavailable("script de rétroéclairage non créé : " + win32::system_message(directory.error())));
    }
    std::wstring program = win32::to_utf16(channel.powershell_program);
    if (program.empty()) {
        auto system = system_powershell();
        if (!system) {
            return std::unexpected(unavailable("PowerShell indisponible : " + win32::system_message(system.error())));
        }
        program = std::move(*system);
    }
    const std::wstring script_path = *directory + win32::to_utf16(backlight_script_file_name(GetCurrentProcessId()));
    if (auto written = write_script(script_path, backlight_script_text()); !written) {
        DeleteFileW(script_path.c_str());
        return std::unexpected(std::move(written.error()));
    }
    std::expected<ProcessOutcome, HalError> outcome;
    {
        ScriptFile owner(script_path);
        outcome = run_powershell(program,
                                 powershell_arguments(win32::to_utf8(script_path).value_or(std::string()), mode, level,
                                                      framework_directory()),
                                 channel.time_limit);
    }
    if (!outcome) return std::unexpected(std::move(outcome.error()));
    if (outcome->exit_code != 0) return std::unexpected(unavailable("commande de rétroéclairage en échec"));
    return interpret_backlight_output(decode_utf8_lossy(outcome->standard_output), mode);
}

}  // namespace

std::expected<KeyboardState, HalError> run_backlight(std::string_view mode, std::uint8_t level,
                                                     const BacklightChannel& channel) {
    if (auto reply = exchange_over_pipe(channel.pipe_path, backlight_pipe_request(mode, level), channel.time_limit)) {
        if (!*reply) return std::unexpected(std::move(reply->error()));
        return interpret_backlight_output(decode_utf8_lossy(**reply), mode);
    }
    return run_script(mode, level, channel);
}

}  // namespace vantrel
