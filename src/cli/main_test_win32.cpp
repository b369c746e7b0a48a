// The built vantrel.exe refuses an argument that is not valid UTF-16, which only a Windows caller
// can produce (a lone surrogate in the wide command line).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "src/cli/command_line.hpp"
#include "src/util/executable_path_win32.hpp"
#include "src/util/file_io_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

namespace vantrel {
namespace {

// vantrel.exe is built beside the test binary.
std::wstring built_executable() { return win32::executable_directory().value_or(L"") + L"vantrel.exe"; }

struct Captured {
    DWORD code;
    std::string out;
    std::string err;
};

// Runs the executable with a raw wide command line; the outputs are small enough for the pipes'
// buffers, so they are read after the process ends.
Captured run_raw(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    win32::UniqueHandle out_r, out_w, err_r, err_w;
    CreatePipe(out_r.put(), out_w.put(), &inherit, 1 << 16);
    CreatePipe(err_r.put(), err_w.put(), &inherit, 1 << 16);
    SetHandleInformation(out_r.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_r.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out_w.get();
    startup.hStdError = err_w.get();
    PROCESS_INFORMATION process{};
    const std::wstring exe = built_executable();
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, /* inherit handles */ TRUE, 0, nullptr,
                        nullptr, &startup, &process))
        return {GetLastError(), "", "CreateProcessW failed"};
    win32::UniqueHandle process_handle(process.hProcess), thread_handle(process.hThread);
    out_w.reset();
    err_w.reset();
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return {code, win32::read_all(out_r.get()), win32::read_all(err_r.get())};
}

TEST(WindowsArguments, LoneSurrogateIsAUsageError) {
    const Captured got = run_raw(std::wstring(L"detect --profiles a") + wchar_t(0xD800));
    EXPECT_EQ(got.code, 2u);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "erreur : argument 3 illisible : texte UTF-16 mal formé\n\n" + std::string(USAGE) + "\n");
}

TEST(WindowsArguments, NonAsciiArgumentsArriveAsUtf8) {
    const Captured got = run_raw(L"d\u00e9tecte\u2122");
    EXPECT_EQ(got.code, 2u);
    EXPECT_EQ(got.err, "commande inconnue : d\xC3\xA9tecte\xE2\x84\xA2\n\n" + std::string(USAGE) + "\n");
}

}  // namespace
}  // namespace vantrel
