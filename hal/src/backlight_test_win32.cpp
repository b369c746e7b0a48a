// The backlight script run end to end on Windows (under Wine here), through the stand-in
// PowerShell built beside this test binary (tests/fake-powershell), handed to the runner by its
// path.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hal/src/backlight.hpp"
#include "hal/src/backlight_invocation.hpp"
#include "src/util/executable_path_win32.hpp"
#include "src/util/os_error.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "src/util/windows_command_line.hpp"
#include "tests/support/beside_test_binary_win32.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using enum BacklightMode;
using test::PrintTo;
using win32::UniqueFileHandle;

std::string read_file(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void write_file(const std::wstring& path, const std::string& bytes) {
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file << bytes;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring temp_dir() {
    wchar_t buffer[MAX_PATH + 1];
    return std::wstring(buffer, GetTempPathW(MAX_PATH + 1, buffer));
}

std::wstring script_path() { return temp_dir() + win32::to_utf16(backlight_script_file_name(GetCurrentProcessId())); }

// The build folder, where the test programs are built beside this test binary.

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        result.push_back(text.substr(start, end - start));
    return result;
}

constexpr std::string_view THINKPAD_LINE =
    R"({"available":true,"known":true,"level":1,"max_level":2,"source":"thinkpad-pm","applied":true,"verified":true,"reason":""})"
    "\n";

std::string stand_in() { return test::beside_test_binary("fake_powershell.exe"); }

BacklightScriptSettings stand_in_script(std::chrono::seconds limit = 60s, std::string program = stand_in()) {
    return BacklightScriptSettings{std::move(program), limit};
}

// A folder of its own per test, and the control file of the stand-in pointed at from it.
class FakePowershell : public testing::Test {
protected:
    void SetUp() override {
        folder_ = temp_dir() + L"vantrel-backlight-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        SetEnvironmentVariableW(L"VANTREL_FAKE_POWERSHELL_CONTROL", (folder_ + L"control").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"VANTREL_FAKE_POWERSHELL_CONTROL", nullptr);
        for (const wchar_t* name : {L"control", L"args", L"script", L"stdout"}) DeleteFileW((folder_ + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::string path(const wchar_t* name) const { return *win32::to_utf8(folder_ + name); }
    std::wstring wpath(const wchar_t* name) const { return folder_ + name; }

    // `stdout` is written to a file that the stand-in copies to its standard output.
    void control(std::string lines, std::string_view stdout_bytes = {}) {
        if (!stdout_bytes.empty()) {
            write_file(wpath(L"stdout"), std::string(stdout_bytes));
            lines += "stdout-file=" + path(L"stdout") + "\n";
        }
        write_file(wpath(L"control"), "record=" + path(L"args") + "\n" + lines);
    }

    std::wstring folder_;
};

TEST_F(FakePowershell, RunsTheScriptWithTheTwelveArgumentsThenDeletesIt) {
    control("copy-script=" + path(L"script") + "\n", THINKPAD_LINE);
    const auto result = run_backlight_script(Write, 1, stand_in_script());
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_EQ(*result, (KeyboardState{true, BacklightSource::ThinkpadPm, 1, 2}));

    const std::vector<std::string> expected{
        "-NoProfile", "-NonInteractive", "-ExecutionPolicy",  "Bypass", "-File", *win32::to_utf8(script_path()),
        "-Mode",      "write",           "-Level",            "1",      "-FrameworkDir", test::beside_test_binary("framework")};
    EXPECT_EQ(lines(read_file(wpath(L"args"))), expected);
    EXPECT_EQ(read_file(wpath(L"script")), backlight_script_text()) << "the script was not written whole";
    EXPECT_FALSE(exists(script_path())) << "the script file was left behind";
}

TEST_F(FakePowershell, ReadModeSendsLevelZero) {
    control("", THINKPAD_LINE);
    const auto result = run_backlight_script(Read, 0, stand_in_script());
    ASSERT_TRUE(result.has_value()) << result.error().display();
    const auto arguments = lines(read_file(wpath(L"args")));
    ASSERT_EQ(arguments.size(), 12U);
    EXPECT_EQ(arguments[7], "read");
    EXPECT_EQ(arguments[9], "0");
}

struct ScriptOutcome {
    const char* name;
    std::string control;
    std::string stdout_bytes;
    HalErrorKind kind;
    std::string message;
    bool prefix_only;
};

class FakePowershellOutcome : public FakePowershell, public testing::WithParamInterface<ScriptOutcome> {};

TEST_P(FakePowershellOutcome, GivesTheError) {
    control(GetParam().control, GetParam().stdout_bytes);
    const auto result = run_backlight_script(Write, 2, stand_in_script());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, GetParam().kind);
    if (GetParam().prefix_only) {
        EXPECT_TRUE(result.error().message.starts_with(GetParam().message)) << result.error().message;
    } else {
        EXPECT_EQ(result.error().message, GetParam().message);
    }
    EXPECT_FALSE(exists(script_path()));
}

const std::string LONG_REASON(10000, 'r');

INSTANTIATE_TEST_SUITE_P(
    Backlight, FakePowershellOutcome,
    testing::Values(
        ScriptOutcome{"non_zero_exit", "exit=1\n", std::string(THINKPAD_LINE), HalErrorKind::Unavailable,
                      "commande de rétroéclairage en échec", false},
        ScriptOutcome{"unreadable_output", "", "Missing an argument for parameter 'FrameworkDir'.\r\n",
                      HalErrorKind::InvalidData, "réponse de rétroéclairage illisible : ", true},
        ScriptOutcome{"no_output_at_all", "", "", HalErrorKind::InvalidData, "réponse de rétroéclairage illisible : ",
                      true},
        ScriptOutcome{"byte_order_mark_before_a_valid_record", "", "\xEF\xBB\xBF" + std::string(THINKPAD_LINE),
                      HalErrorKind::InvalidData,
                      "réponse de rétroéclairage illisible : marque d'ordre des octets UTF-8 en tête de réponse",
                      false},
        ScriptOutcome{"not_applied", "",
                      R"({"available":true,"known":true,"level":1,"max_level":2,"source":"hid","applied":false,"verified":false,"reason":"niveau hors limites"})",
                      HalErrorKind::Unavailable, "niveau hors limites", false},
        // More than a pipe buffer on both streams: read while the program runs, whole.
        ScriptOutcome{"outputs_beyond_4096_bytes_read_whole", "stderr-bytes=300000\n",
                      R"({"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,"verified":false,"reason":")" +
                          LONG_REASON + "\"}\n",
                      HalErrorKind::Unavailable, LONG_REASON, false},
        // An endless output is kept only up to a bound: the record is cut, so unreadable.
        ScriptOutcome{"output_beyond_1_mib_is_cut", "",
                      R"({"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,"reason":")" +
                          std::string(3 << 20, 'r') + "\"}\n",
                      HalErrorKind::InvalidData, "réponse de rétroéclairage illisible : ", true}),
    test::RowName{});

TEST_F(FakePowershell, ProgramThatCannotStartLeavesNoScript) {
    const auto result = run_backlight_script(Read, 0, stand_in_script(60s, test::beside_test_binary("absent-powershell.exe")));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, HalErrorKind::Unavailable);
    EXPECT_EQ(result.error().message, "PowerShell indisponible : " + system_message(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(exists(script_path()));
}

TEST_F(FakePowershell, TimeOutEndsThePowershellRun) {
    control("sleep-ms=60000\n", THINKPAD_LINE);
    const auto start = std::chrono::steady_clock::now();
    const auto result = run_backlight_script(Read, 0, stand_in_script(2s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, HalErrorKind::Unavailable);
    EXPECT_EQ(result.error().message, "commande de rétroéclairage sans réponse (2 s)");
    EXPECT_LT(elapsed, 20s);
    EXPECT_FALSE(exists(script_path()));
}

TEST_F(FakePowershell, TimeOutEndsWhatPowershellStarted) {
    // The sleeper holds the output pipes open: only ending the whole job lets the reads finish.
    control("spawn-sleeper=1\nsleep-ms=60000\n", THINKPAD_LINE);
    const auto start = std::chrono::steady_clock::now();
    const auto result = run_backlight_script(Read, 0, stand_in_script(2s));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, "commande de rétroéclairage sans réponse (2 s)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST_F(FakePowershell, LeftoverChildDoesNotHoldTheCaller) {
    control("spawn-sleeper=1\n", THINKPAD_LINE);
    const auto start = std::chrono::steady_clock::now();
    const auto result = run_backlight_script(Write, 1, stand_in_script());
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST_F(FakePowershell, PlantedFileIsReplacedNotReused) {
    write_file(script_path(), "Write-Output 'planted'\n");
    control("copy-script=" + path(L"script") + "\n", THINKPAD_LINE);
    ASSERT_TRUE(run_backlight_script(Write, 1, stand_in_script()).has_value());
    EXPECT_EQ(read_file(wpath(L"script")), backlight_script_text());
    EXPECT_FALSE(exists(script_path()));
}

TEST_F(FakePowershell, FileThatCannotBeReplacedStopsTheRun) {
    // Held open without delete sharing, as a file of another account would resist deletion.
    write_file(script_path(), "planted");
    UniqueFileHandle held(CreateFileW(script_path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    control("", THINKPAD_LINE);
    const auto result = run_backlight_script(Read, 0, stand_in_script());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, HalErrorKind::Unavailable);
    EXPECT_TRUE(result.error().message.starts_with("script de rétroéclairage non créé : ")) << result.error().message;
    EXPECT_GT(result.error().message.size(), std::string_view("script de rétroéclairage non créé : ").size());
    EXPECT_FALSE(exists(wpath(L"args"))) << "PowerShell ran a file that was not ours";
    EXPECT_EQ(read_file(script_path()), "planted");
    held.reset();
    DeleteFileW(script_path().c_str());
}

TEST(BacklightInvocation, CommandLineSplitsBackIntoTheArguments) {
    const std::vector<std::string> arguments{"-File", R"(C:\Users\Jean Dupont\AppData\Local\Temp\v.ps1)", "",
                                             R"(C:\a b\)", R"(say "hi")", R"(a\\"b)", "é ü"};
    const std::wstring line = win32::to_utf16(windows_command_line("powershell.exe", arguments));
    int count = 0;
    const win32::UniqueLocalMemory<wchar_t*> split(CommandLineToArgvW(line.c_str(), &count));
    ASSERT_TRUE(split);
    ASSERT_EQ(count, static_cast<int>(arguments.size()) + 1);
    for (int i = 1; i < count; ++i) {
        EXPECT_EQ(*win32::to_utf8(split.get()[i]), arguments[static_cast<std::size_t>(i - 1)]);
    }
}

}  // namespace
}  // namespace vantrel
