#include "hal/src/powershell_runner_win32.hpp"

#include <array>
#include <exception>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "hal/src/backlight_invocation.hpp"
#include "src/util/file_io_win32.hpp"
#include "src/util/os_error.hpp"
#include "src/util/path_buffer_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "src/util/unique_resource.hpp"
#include "src/util/windows_command_line.hpp"

namespace vantrel {

namespace {

using win32::UniqueFileHandle;
using win32::UniqueHandle;

// The script prints one short line; anything longer than this is cut, and so unreadable.
constexpr std::size_t OUTPUT_KEPT = 1 << 20;

void delete_attribute_list(LPPROC_THREAD_ATTRIBUTE_LIST list) noexcept { DeleteProcThreadAttributeList(list); }

// An initialised attribute list; its storage belongs to the caller and must outlive it.
using UniqueAttributeList = UniqueResource<LPPROC_THREAD_ATTRIBUTE_LIST, &delete_attribute_list, nullptr>;

HalError start_failure(DWORD error) {
    return HalError::unavailable("PowerShell indisponible : " + system_message(error));
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
        // Until the child and all it started have closed their ends (or a read fails).
        (void)win32::read_to_end(pipe_.get(), [this](std::string_view piece) noexcept {
            if (failure_ || text_.size() >= keep_) return true;
            try {
                text_.append(piece.substr(0, keep_ - text_.size()));
            } catch (...) {
                failure_ = std::current_exception();
            }
            return true;
        });
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
    Pipe pipe;
    if (!CreatePipe(pipe.read.put(), pipe.write.put(), &inherit, 0)) return std::nullopt;
    // Only the child's end is inherited.
    SetHandleInformation(pipe.read.get(), HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

}  // namespace

// The program search is never used: it looks first in the folder of vantrel.exe, and the service
// runs as LocalSystem.
std::expected<std::wstring, HalError> system_powershell() {
    auto directory = win32::path_from([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    if (!directory) return std::unexpected(start_failure(directory.error()));
    if (!directory->ends_with(L'\\')) *directory += L'\\';
    return *directory + L"WindowsPowerShell\\v1.0\\powershell.exe";
}

std::expected<ProcessOutcome, HalError> run_powershell(const std::wstring& program,
                                                       const std::vector<std::string>& arguments,
                                                       std::chrono::seconds limit) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueFileHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    auto output = inheritable_write_pipe();
    auto error = inheritable_write_pipe();
    if (!input || !output || !error) return std::unexpected(start_failure(GetLastError()));

    // Everything PowerShell starts belongs to the job, so that a time-out ends all of it.
    const UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return std::unexpected(start_failure(GetLastError()));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));

    std::array<HANDLE, 3> inherited{input.get(), output->write.get(), error->write.get()};
    SIZE_T list_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    std::vector<unsigned char> list_storage(list_size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &list_size)) {
        return std::unexpected(start_failure(GetLastError()));
    }
    const UniqueAttributeList attribute_list(attributes);
    // Only these three handles reach the child, whatever else this process holds.
    if (!UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                   sizeof(HANDLE) * inherited.size(), nullptr, nullptr)) {
        return std::unexpected(start_failure(GetLastError()));
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
        return std::unexpected(start_failure(GetLastError()));
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD code = GetLastError();
        TerminateProcess(process.get(), 1);
        return std::unexpected(start_failure(code));
    }
    ResumeThread(thread.get());

    // The child holds the write ends now; ours must go for the readers to see the end.
    output->write.reset();
    error->write.reset();
    input.reset();
    std::optional<StreamReader> out_reader;
    std::optional<StreamReader> err_reader;
    // Declared after the readers, so run before their end on every way out, an exception included:
    // their threads see the pipes close and can be joined.
    const ScopeExit end_job([&job] { TerminateJobObject(job.get(), 1); });
    out_reader.emplace(std::move(output->read), OUTPUT_KEPT);
    err_reader.emplace(std::move(error->read), /* standard error is never looked at */ 0);

    const DWORD limit_ms = static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count());
    const bool ended = WaitForSingleObject(process.get(), limit_ms) == WAIT_OBJECT_0;
    // Also after a normal end: anything PowerShell left running would keep the pipes open.
    TerminateJobObject(job.get(), 1);
    if (!ended) WaitForSingleObject(process.get(), INFINITE);
    std::string standard_output = out_reader->finish();
    err_reader->finish();
    if (!ended) {
        return std::unexpected(HalError::unavailable(backlight_timeout_message(limit)));
    }

    DWORD exit_code = 1;
    GetExitCodeProcess(process.get(), &exit_code);
    return ProcessOutcome{exit_code, std::move(standard_output)};
}

}  // namespace vantrel
