// Runs a program in a console of its own and hands back what that console shows, for the tests of
// the console branch of the standard streams.
//
//   console_host.exe RESULT PROGRAM [ARGUMENT...]
//
// PROGRAM runs with its standard output and error on the console (input from NUL), whose output
// code page is 850, so that UTF-8 bytes written as such would show garbled. When it has ended,
// the console's characters are written to RESULT as UTF-16LE: the rows up to the cursor, each up to
// its last written cell, joined by line feeds (units are copied as they are, lone surrogates
// included). The exit code is PROGRAM's, or:
//   NO_CONSOLE (253): no console could be had here; RESULT holds the reason;
//   FAILED (252): anything else went wrong, the copy in the console ending without a result
//   included; RESULT holds what.
//
// A process started by Wine from Linux without a terminal has no console, and AllocConsole wants
// a display for its window; a process created with CREATE_NO_WINDOW gets a console without a
// window. So the host starts a copy of itself that way and does the work in that copy.
#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/util/executable_path_win32.hpp"
#include "src/util/file_io_win32.hpp"
#include "src/util/os_error.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "src/util/windows_command_line.hpp"

namespace {

using vantrel::win32::UniqueHandle;
using vantrel::win32::UniqueFileHandle;
using vantrel::win32::UniqueLocalMemory;

constexpr int NO_CONSOLE = 253;
constexpr int FAILED = 252;
constexpr wchar_t INNER_FLAG[] = L"--in-console";
// Wider than any line of the tests, so that no line wraps; taller than the window, which Wine
// requires of a screen buffer.
constexpr SHORT WIDTH = 20000;
constexpr SHORT HEIGHT = 400;
constexpr DWORD PROGRAM_TIMEOUT_MS = 60000;

// One argument quoted so that CommandLineToArgvW gives it back unchanged; absent for one that is
// not valid UTF-16, which the quoting of the product cannot take.
std::optional<std::wstring> quoted(const std::wstring& arg) {
    const std::optional<std::string> utf8 = vantrel::win32::to_utf8(arg);
    if (!utf8) return std::nullopt;
    return vantrel::win32::to_utf16(vantrel::quote_windows_argument(*utf8));
}

bool write_result(const std::wstring& path, const std::wstring& text) {
    UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return file && vantrel::win32::write_all(file.get(), bytes) == ERROR_SUCCESS;
}

int fail(const std::wstring& result, int code, const std::wstring& what) {
    const DWORD error = GetLastError();
    write_result(result, what + L" " + vantrel::win32::to_utf16(vantrel::os_error_code(error)));
    return code;
}

// Starts `command` and waits for it; yields its exit code, or nothing when it could not run.
bool run(std::wstring command, DWORD flags, STARTUPINFOW& startup, bool inherit, DWORD& code) {
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, inherit, flags, nullptr, nullptr, &startup,
                        &process))
        return false;
    UniqueHandle process_handle(process.hProcess), thread_handle(process.hThread);
    if (WaitForSingleObject(process.hProcess, PROGRAM_TIMEOUT_MS) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, FAILED);
        SetLastError(ERROR_TIMEOUT);
        return false;
    }
    return GetExitCodeProcess(process.hProcess, &code) != 0;
}

// The console's text: rows up to the cursor, each cut after its last written cell (the buffer is
// filled with NUL beforehand, so written blanks stay).
std::wstring screen_text(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(console, &info)) return L"";
    std::wstring text;
    std::vector<wchar_t> row(static_cast<std::size_t>(info.dwSize.X));
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD read = 0;
        if (!ReadConsoleOutputCharacterW(console, row.data(), info.dwSize.X, COORD{0, y}, &read)) return L"";
        std::wstring line(row.data(), read);
        line.erase(line.find_last_not_of(L'\0') + 1);
        if (y > 0) text += L'\n';
        text += line;
    }
    return text;
}

int inner(const std::wstring& result, const std::wstring& program_command) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueFileHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inheritable, OPEN_EXISTING, 0, nullptr));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!console || !GetConsoleScreenBufferInfo(console.get(), &info))
        return fail(result, NO_CONSOLE, L"a process created with CREATE_NO_WINDOW has no usable console");
    if (!SetConsoleOutputCP(850)) return fail(result, FAILED, L"SetConsoleOutputCP(850)");
    const SHORT height = info.dwSize.Y > HEIGHT ? info.dwSize.Y : HEIGHT;
    if (!SetConsoleScreenBufferSize(console.get(), COORD{WIDTH, height}))
        return fail(result, FAILED, L"SetConsoleScreenBufferSize");
    DWORD filled = 0;
    if (!FillConsoleOutputCharacterW(console.get(), L'\0', static_cast<DWORD>(WIDTH) * static_cast<DWORD>(height),
                                     COORD{0, 0}, &filled) ||
        !SetConsoleCursorPosition(console.get(), COORD{0, 0}))
        return fail(result, FAILED, L"clearing the screen buffer");
    UniqueFileHandle nul(
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = console.get();
    startup.hStdError = console.get();
    DWORD code = 0;
    if (!run(program_command, 0, startup, /* inherit */ TRUE, code))
        return fail(result, FAILED, L"running " + program_command);
    if (!write_result(result, screen_text(console.get()))) return FAILED;
    return static_cast<int>(code);
}

}  // namespace

int wmain() {
    int count = 0;
    const UniqueLocalMemory<wchar_t*> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) return FAILED;
    std::vector<std::wstring> args(argv.get(), argv.get() + count);
    const bool in_console = count > 1 && args[1] == INNER_FLAG;
    const std::size_t first = in_console ? 2 : 1;
    if (count < static_cast<int>(first) + 2) return FAILED;
    const std::wstring& result = args[first];
    std::wstring program_command;
    for (std::size_t i = first + 1; i < args.size(); ++i) {
        const std::optional<std::wstring> arg = quoted(args[i]);
        if (!arg) return fail(result, FAILED, L"argument " + std::to_wstring(i) + L" is not valid UTF-16");
        program_command += (program_command.empty() ? L"" : L" ") + *arg;
    }
    if (in_console) return inner(result, program_command);

    const auto self = vantrel::win32::executable_path();
    if (!self) {
        SetLastError(self.error());
        return fail(result, FAILED, L"GetModuleFileNameW");
    }
    const std::optional<std::wstring> self_quoted = quoted(*self);
    const std::optional<std::wstring> result_quoted = quoted(result);
    if (!self_quoted || !result_quoted) return fail(result, FAILED, L"a path that is not valid UTF-16");
    std::wstring self_command = *self_quoted + L" " + INNER_FLAG + L" " + *result_quoted + L" " + program_command;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    DWORD code = 0;
    // A result left from an earlier run would pass for this one's.
    if (!DeleteFileW(result.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return fail(result, FAILED, L"removing an earlier result");
    if (!run(self_command, CREATE_NO_WINDOW, startup, /* inherit */ FALSE, code))
        return fail(result, FAILED, L"starting the host in a console of its own");
    // The copy writes a result on every path of its own; without one it was ended from outside
    // (Wine ends a prefix's processes with code 1 when its wineserver shuts down), and the code is
    // not the program's.
    if (GetFileAttributesW(result.c_str()) == INVALID_FILE_ATTRIBUTES) {
        SetLastError(code);  // shown as "(code N)": the copy's exit code
        return fail(result, FAILED, L"the host in its console ended without a result");
    }
    return static_cast<int>(code);
}
