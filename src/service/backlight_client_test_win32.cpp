// The backlight client on Windows (under Wine here), against pipe servers of the test's own: what
// it sends, how it reads the reply, and when it refuses to send anything.
#include "src/service/backlight_client.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "src/util/overlapped_io_win32.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "tests/support/beside_test_binary_win32.hpp"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using win32::UniqueFileHandle;
using win32::UniqueHandle;

// Clients served one at a time on a pipe of the test's own: what they sent, and the reply chosen,
// given after `delay`. Every wait of the server also wakes when the test ends it, so that ending
// it never depends on a client of the test's own reaching it: the one instance may still be
// held by the last client, and then such a client would be refused and the server would wait for
// ever.
class TestPipeServer {
public:
    enum class Answer { Reply, CloseWithoutReply, Silence };

    explicit TestPipeServer(std::string reply, Answer answer = Answer::Reply, std::chrono::milliseconds delay = 0ms,
                            int clients = 1)
        : name_(R"(\\.\pipe\vantrel-test-)" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(serial_++)),
          pipe_(CreateNamedPipeW(win32::to_utf16(name_).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                 PIPE_BUFFER_SIZE, PIPE_BUFFER_SIZE, 0, nullptr)),
          io_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = std::thread([this, reply = std::move(reply), answer, delay, clients] {
            for (int client = 0; client < clients; ++client) {
                if (!connect()) return;
                std::string buffer(PIPE_BUFFER_SIZE, '\0');
                const auto read = win32::read_with_deadline(pipe_.get(), io_.get(), buffer.data(), PIPE_BUFFER_SIZE,
                                                            SERVER_LIMIT_MS, {done_.get()});
                if (read.ok) received_ += buffer.substr(0, read.bytes);
                if (ended(win32::wait_milliseconds(delay))) return;
                if (answer == Answer::Reply) {
                    if (!win32::write_with_deadline(pipe_.get(), io_.get(), reply, SERVER_LIMIT_MS, {done_.get()}).ok)
                        return;
                    FlushFileBuffers(pipe_.get());
                } else if (answer == Answer::Silence && ended(SERVER_LIMIT_MS)) {
                    return;
                }
                DisconnectNamedPipe(pipe_.get());
            }
        });
    }
    ~TestPipeServer() {
        SetEvent(done_.get());
        if (thread_.joinable()) thread_.join();
    }

    [[nodiscard]] bool ready() const { return static_cast<bool>(pipe_); }
    [[nodiscard]] const std::string& name() const { return name_; }
    // The service is this process, which serves the pipe: the client trusts it.
    [[nodiscard]] BacklightClientSettings settings(std::chrono::seconds limit = 60s) const {
        return {.pipe = {.pipe_path = name_,
                         .service_process = [] { return ServiceProcess(GetCurrentProcessId()); },
                         .exchange_limit = limit,
                         .busy_limit = 2s},
                // A program that does not exist: a script run would fail with "PowerShell indisponible".
                .script = {.powershell_program = test::beside_test_binary("absent-powershell.exe")}};
    }
    std::string received() {
        thread_.join();
        return received_;
    }

private:
    static constexpr DWORD SERVER_LIMIT_MS = 30000;

    // Waits `ms` for the test to end the server; true when it did.
    bool ended(DWORD ms) const { return WaitForSingleObject(done_.get(), ms) == WAIT_OBJECT_0; }

    // The next client; false when the test ended the server first.
    bool connect() {
        OVERLAPPED overlapped = win32::overlapped_record(io_.get());
        if (ConnectNamedPipe(pipe_.get(), &overlapped)) return true;
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) return true;
        if (error != ERROR_IO_PENDING) return false;
        const auto outcome = win32::await_pending(pipe_.get(), overlapped, SERVER_LIMIT_MS, {done_.get()});
        return outcome.wait == win32::IoWait::Completed && outcome.ok;
    }

    static inline std::atomic<int> serial_{0};
    std::string name_;
    UniqueFileHandle pipe_;
    UniqueHandle io_;
    UniqueHandle done_;
    std::string received_;
    std::thread thread_;
};

const std::string HID_AT_TWO =
    R"({"applied":true,"available":true,"known":true,"level":2,"max_level":2,"reason":"","source":"hid"})" "\n";

TEST(BacklightClient, PipeAnswersAndTheScriptIsNotRun) {
    TestPipeServer server(HID_AT_TWO);
    ASSERT_TRUE(server.ready());
    const auto result = backlight_write(2, server.settings());
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_EQ(*result, (BacklightAnswer{{true, BacklightSource::Hid, 2, 2}, AnsweredBy::Service}));
    EXPECT_EQ(server.received(), "{\"op\":\"keyboard_write\",\"level\":2}\n");
}

TEST(BacklightClient, ServiceFailureIsSaidOnce) {
    TestPipeServer server(
        R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":"ressource non disponible : aucune interface de rétroéclairage clavier détectée","source":""})"
        "\n");
    ASSERT_TRUE(server.ready());
    const auto result = backlight_read(server.settings());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(), "ressource non disponible : aucune interface de rétroéclairage clavier détectée");
    EXPECT_EQ(server.received(), "{\"op\":\"keyboard_read\"}\n");
}

TEST(BacklightClient, ReplyBeyond4096BytesIsCutAndUnreadable) {
    TestPipeServer server(
        R"({"applied":true,"available":true,"known":true,"level":2,"max_level":2,"source":"hid","reason":")" +
        std::string(5000, 'x') + "\"}\n");
    ASSERT_TRUE(server.ready());
    const auto result = backlight_read(server.settings());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, HalErrorKind::InvalidData);
    EXPECT_TRUE(result.error().message.starts_with("réponse de rétroéclairage illisible : ")) << result.error().message;
}

TEST(BacklightClient, ServerHangingUpInterruptsTheExchange) {
    TestPipeServer server("", TestPipeServer::Answer::CloseWithoutReply);
    ASSERT_TRUE(server.ready());
    const auto result = backlight_read(server.settings());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(), "ressource non disponible : service HAL joignable mais échange interrompu");
}

TEST(BacklightClient, SilentServerTimesOut) {
    TestPipeServer server("", TestPipeServer::Answer::Silence);
    ASSERT_TRUE(server.ready());
    const auto start = std::chrono::steady_clock::now();
    const auto result = backlight_read(server.settings(1s));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, "commande de rétroéclairage sans réponse (1 s)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
}

// A pipe served by another process than the service, or while the service is not running: the
// request is never written.
TEST(BacklightClient, PipeNotServedByTheServiceGetsNoRequest) {
    const struct {
        const char* name;
        ServiceProcess service;
        std::string message;
    } rows[] = {
        {"service_in_another_process", ServiceProcess(GetCurrentProcessId() + 4),
         " n'est pas le service VantrelHal (serveur : processus " + std::to_string(GetCurrentProcessId()) +
             " ; service : processus " + std::to_string(GetCurrentProcessId() + 4) + ") : requête non envoyée"},
        {"service_stopped", std::unexpected(std::string("arrêté")),
         " n'est pas le service VantrelHal (serveur : processus " + std::to_string(GetCurrentProcessId()) +
             " ; service : arrêté) : requête non envoyée"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestPipeServer server(HID_AT_TWO);
        ASSERT_TRUE(server.ready());
        BacklightClientSettings settings = server.settings();
        settings.pipe.service_process = [&row] { return row.service; };
        const auto result = backlight_write(1, settings);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().display(),
                  "ressource non disponible : le serveur du canal " + server.name() + row.message);
        EXPECT_EQ(server.received(), "");
    }
}

// While the one instance serves another client, the client waits its turn for a bounded time.
TEST(BacklightClient, BusyPipeIsWaitedForThenGivenUp) {
    const struct {
        const char* name;
        std::chrono::milliseconds each_client_held;
        bool second_served;
    } rows[] = {{"busy_briefly", 300ms, true}, {"busy_beyond_the_bound", 4000ms, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestPipeServer server(HID_AT_TWO, TestPipeServer::Answer::Reply, row.each_client_held, /*clients=*/2);
        ASSERT_TRUE(server.ready());
        std::thread first([&server] { EXPECT_TRUE(backlight_read(server.settings()).has_value()); });
        std::this_thread::sleep_for(100ms);  // the first client holds the instance
        const auto second = backlight_write(1, server.settings());
        first.join();
        if (row.second_served) {
            ASSERT_TRUE(second.has_value()) << second.error().display();
            EXPECT_EQ(second->by, AnsweredBy::Service);
        } else {
            ASSERT_FALSE(second.has_value());
            EXPECT_EQ(second.error().display(),
                      "ressource non disponible : service HAL occupé par un autre client depuis plus de 2 s");
        }
    }
}

TEST(BacklightClient, NoPipeRunsTheScriptInThisProcess) {
    BacklightClientSettings settings;
    settings.pipe.pipe_path = R"(\\.\pipe\vantrel-test-nobody-)" + std::to_string(GetCurrentProcessId());
    settings.script.powershell_program = test::beside_test_binary("fake_powershell.exe");
    const auto result = backlight_read(settings);
    // Without orders the stand-in answers as a machine without keyboard backlight.
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(), "ressource non disponible : aucune interface de retroeclairage clavier detectee");
}

}  // namespace
}  // namespace vantrel
