// Stand-in for powershell.exe in the Windows tests. Built as fake_powershell.exe in the build
// directory: the in-process tests hand its path to the runner; the end-to-end tests copy it over
// Windows PowerShell (system32\WindowsPowerShell\v1.0\powershell.exe) in a Wine prefix of their
// own, where Wine ships a stub that prints nothing and exits 0.
//
// Driving it: a control file, named by the environment variable VANTREL_FAKE_POWERSHELL_CONTROL,
// or else "powershell.control" beside this executable (for a process whose environment the test
// does not set, such as a service). One "key=value" per line, UTF-8, every key optional:
//   record=PATH        writes the arguments it received (after the program name), one per line
//   copy-script=PATH   copies the file given after -File to PATH (as it was while it ran)
//   stderr-bytes=N     writes N bytes to standard error first (more than a pipe holds)
//   stdout-file=PATH   writes that file's bytes, unchanged, to standard output
//   stdout=TEXT        writes TEXT and a line feed to standard output (after stdout-file)
//   spawn-sleeper=1    starts a copy of itself that inherits the output pipes and sleeps 120 s
//   sleep-ms=N         sleeps N milliseconds before exiting
//   exit=N             exit code (default 0)
// Without a control file it prints the record of a machine without keyboard backlight and
// exits 0.
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "src/util/executable_path_win32.hpp"
#include "src/util/file_io_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace {

using vantrel::win32::to_utf16;
using vantrel::win32::to_utf8_lossy;

std::string read_file(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void write_file(const std::wstring& path, const std::string& bytes) {
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file << bytes;
}

// What cannot be written is dropped: the runner under test may have closed its end.
void write_all(DWORD stream, const std::string& bytes) { (void)vantrel::win32::write_all(GetStdHandle(stream), bytes); }

std::wstring own_path() { return vantrel::win32::executable_path().value_or(L""); }

std::map<std::string, std::string> read_control() {
    std::wstring path(32768, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"VANTREL_FAKE_POWERSHELL_CONTROL", path.data(), static_cast<DWORD>(path.size()));
    if (length > 0 && length < path.size()) {
        path.resize(length);
    } else {
        path = vantrel::win32::executable_directory().value_or(L"") + L"powershell.control";
    }
    std::map<std::string, std::string> control;
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) return control;
    control["present"] = "1";
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto equals = line.find('=');
        if (equals != std::string::npos) control[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return control;
}

void spawn_sleeper() {
    std::wstring command = L"\"" + own_path() + L"\" --sleeper";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, /* inherit handles */ TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &started)) {
        const vantrel::win32::UniqueHandle thread(started.hThread), process(started.hProcess);
    }
}

}  // namespace

int main() {
    int count = 0;
    const vantrel::win32::UniqueLocalMemory<wchar_t*> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) return 1;
    std::vector<std::wstring> arguments(argv.get() + 1, argv.get() + count);
    if (!arguments.empty() && arguments[0] == L"--sleeper") {
        Sleep(120000);
        return 0;
    }

    const auto control = read_control();
    auto value = [&control](const char* key) {
        const auto found = control.find(key);
        return found == control.end() ? std::string() : found->second;
    };
    if (control.empty()) {
        write_all(STD_OUTPUT_HANDLE,
                  R"({"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,)"
                  R"("verified":false,"reason":"aucune interface de retroeclairage clavier detectee"})"
                  "\n");
        return 0;
    }
    if (const auto path = value("record"); !path.empty()) {
        std::string lines;
        for (const auto& argument : arguments) lines += to_utf8_lossy(argument) + "\n";
        write_file(to_utf16(path), lines);
    }
    if (const auto path = value("copy-script"); !path.empty()) {
        for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
            if (arguments[i] == L"-File") write_file(to_utf16(path), read_file(arguments[i + 1]));
        }
    }
    if (const auto bytes = value("stderr-bytes"); !bytes.empty()) {
        write_all(STD_ERROR_HANDLE, std::string(std::stoul(bytes), 'e'));
    }
    if (const auto path = value("stdout-file"); !path.empty()) write_all(STD_OUTPUT_HANDLE, read_file(to_utf16(path)));
    if (control.contains("stdout")) write_all(STD_OUTPUT_HANDLE, value("stdout") + "\n");
    if (value("spawn-sleeper") == "1") spawn_sleeper();
    if (const auto ms = value("sleep-ms"); !ms.empty()) Sleep(static_cast<DWORD>(std::stoul(ms)));
    const auto code = value("exit");
    return code.empty() ? 0 : std::stoi(code);
}
