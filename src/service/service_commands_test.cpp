// `service install` and `service uninstall` against a fake service manager: every branch and
// message, the command line stored, the places checked, the waits for a pending deletion, and
// which handles are closed when.
#include "src/service/service_commands.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

using ErrorCode = ServiceManager::ErrorCode;

// What the fake manager answers; 0 is success.
struct Answers {
    ErrorCode open_manager = 0;
    std::expected<std::u16string, std::string> executable_path = u"C:\\Program Files\\Vantrel HAL\\vantrel.exe";
    // The places that are not closed to ordinary users, with what is said of them.
    std::vector<std::pair<std::u16string, std::expected<bool, ErrorCode>>> places = {};
    // The first attempts at creation find a deletion pending; the next ones answer create_service.
    int pending_deletions = 0;
    ErrorCode create_service = 0;
    ErrorCode open_service = 0;
    ErrorCode delete_service = 0;
};

// Answers as told and logs every call, with the handle it was given, and every handle closed.
class FakeServiceManager final : public ServiceManager {
public:
    explicit FakeServiceManager(Answers answers) : answers_(std::move(answers)) {}

    std::expected<OwnedHandle, ErrorCode> open_manager() override {
        calls.push_back("open_manager");
        return answer(answers_.open_manager, "manager");
    }
    std::expected<std::u16string, std::string> executable_path() override {
        calls.push_back("executable_path");
        return answers_.executable_path;
    }
    std::expected<bool, ErrorCode> open_to_ordinary_users(std::u16string_view path) override {
        calls.push_back("open_to_ordinary_users(" + ascii(path) + ")");
        for (const auto& [place, answer] : answers_.places) {
            if (place == path) return answer;
        }
        return false;
    }
    std::expected<OwnedHandle, ErrorCode> create_service(const Handle& manager,
                                                         std::u16string_view command_line) override {
        calls.push_back("create_service(" + name_of(manager) + ", " + ascii(command_line) + ")");
        if (answers_.pending_deletions > 0) {
            --answers_.pending_deletions;
            return std::unexpected(SERVICE_DELETION_PENDING);
        }
        return answer(answers_.create_service, "service");
    }
    void wait_before_retry(std::chrono::milliseconds pause) override {
        calls.push_back("wait_before_retry(" + std::to_string(pause.count()) + " ms)");
    }
    std::expected<OwnedHandle, ErrorCode> open_service(const Handle& manager) override {
        calls.push_back("open_service(" + name_of(manager) + ")");
        return answer(answers_.open_service, "service");
    }
    std::expected<void, ErrorCode> delete_service(const Handle& service) override {
        calls.push_back("delete_service(" + name_of(service) + ")");
        if (answers_.delete_service != 0) return std::unexpected(answers_.delete_service);
        return {};
    }

    std::vector<std::string> calls;

private:
    class FakeHandle final : public Handle {
    public:
        FakeHandle(std::string name, std::vector<std::string>& calls) : name_(std::move(name)), calls_(calls) {}
        ~FakeHandle() override { calls_.push_back("close(" + name_ + ")"); }
        [[nodiscard]] const std::string& name() const { return name_; }

    private:
        std::string name_;
        std::vector<std::string>& calls_;
    };

    std::expected<OwnedHandle, ErrorCode> answer(ErrorCode code, std::string name) {
        if (code != 0) return std::unexpected(code);
        return std::make_unique<FakeHandle>(std::move(name), calls);
    }
    static std::string name_of(const Handle& handle) { return static_cast<const FakeHandle&>(handle).name(); }
    // The rows' paths are ASCII in the log, whatever the messages show of them.
    static std::string ascii(std::u16string_view text) {
        std::string narrow;
        for (const char16_t unit : text) narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        return narrow;
    }

    Answers answers_;
};

enum class Command { Install, Uninstall };

struct Row {
    const char* name;
    Command command;
    Answers answers;
    std::expected<std::string, std::string> outcome;  // the lines for standard output, or the failure
    std::vector<std::string> calls;
};

// One text for either side of an outcome, so a mismatch shows both.
std::string shown(const std::expected<std::string, std::string>& outcome) {
    return outcome ? "lines: " + *outcome : "failure: " + outcome.error();
}

const std::string STORED_WITH_BLANKS =
    "create_service(manager, \"C:\\Program Files\\Vantrel HAL\\vantrel.exe\" --service)";
const std::string WAIT = "wait_before_retry(500 ms)";
const std::u16string FOLDER = u"C:\\Program Files\\Vantrel HAL";
const std::u16string FRAMEWORK = u"C:\\Program Files\\Vantrel HAL\\framework";
const std::string EXECUTABLE_CHECKED = "open_to_ordinary_users(C:\\Program Files\\Vantrel HAL\\vantrel.exe)";
const std::string FOLDER_CHECKED = "open_to_ordinary_users(C:\\Program Files\\Vantrel HAL)";
const std::string FRAMEWORK_CHECKED = "open_to_ordinary_users(C:\\Program Files\\Vantrel HAL\\framework)";
const std::string INSTALLED =
    "service VantrelHal installé et démarré au prochain reboot\ndémarrez-le avec : sc start VantrelHal\n";

// The calls of an installation from the default path whose location is accepted: `attempts`
// creations, a wait between each two, then the manager closed (and the service, when created).
std::vector<std::string> install_calls(int attempts, bool created) {
    std::vector<std::string> calls = {"open_manager", "executable_path", EXECUTABLE_CHECKED, FOLDER_CHECKED,
                                      FRAMEWORK_CHECKED};
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) calls.push_back(WAIT);
        calls.push_back(STORED_WITH_BLANKS);
    }
    calls.push_back("close(manager)");
    if (created) calls.push_back("close(service)");
    return calls;
}

// The calls of an installation refused at its location, after the checks listed.
std::vector<std::string> refused_calls(std::vector<std::string> checked) {
    std::vector<std::string> calls = {"open_manager", "executable_path"};
    calls.insert(calls.end(), checked.begin(), checked.end());
    calls.push_back("close(manager)");
    return calls;
}
const std::vector<std::string> OPENED_FOR_REMOVAL = {"open_manager", "open_service(manager)", "close(manager)"};
const std::vector<std::string> DELETION_ASKED = {"open_manager", "open_service(manager)", "delete_service(service)",
                                                 "close(service)", "close(manager)"};

const Row ROWS[] = {
    {"install_manager_refused_before_the_path_is_looked_up", Command::Install, {.open_manager = 5},
     std::unexpected("gestionnaire de services inaccessible (code 5) : invite administrateur requise"),
     {"open_manager"}},
    {"install_executable_path_unknown", Command::Install,
     {.executable_path = std::unexpected("Le module spécifié est introuvable.")},
     std::unexpected("chemin de l'exécutable introuvable : Le module spécifié est introuvable."),
     {"open_manager", "executable_path", "close(manager)"}},
    {"install_created_with_the_path_quoted", Command::Install, {}, INSTALLED, install_calls(1, true)},
    {"install_already_exists", Command::Install, {.create_service = 1073}, "le service VantrelHal est déjà installé\n",
     install_calls(1, false)},
    {"install_creation_refused", Command::Install, {.create_service = 1078},
     std::unexpected("création du service refusée (code 1078)"), install_calls(1, false)},
    // The location: nothing is registered where ordinary users could plant code.
    {"install_refused_when_users_may_change_the_executable", Command::Install,
     {.places = {{u"C:\\Program Files\\Vantrel HAL\\vantrel.exe", true}}},
     std::unexpected("installation refusée : des utilisateurs ordinaires peuvent modifier « C:\\Program Files\\Vantrel "
                     "HAL\\vantrel.exe » ; installez Vantrel dans Program Files (paquet MSI)"),
     refused_calls({EXECUTABLE_CHECKED})},
    {"install_refused_when_users_may_change_the_folder", Command::Install,
     {.executable_path = u"C:\\Users\\H\u00e9l\u00e8ne\\T\u00e9l\u00e9chargements\\vantrel.exe",
      .places = {{u"C:\\Users\\H\u00e9l\u00e8ne\\T\u00e9l\u00e9chargements", true}}},
     std::unexpected("installation refusée : des utilisateurs ordinaires peuvent modifier « C:\\Users\\Hélène\\"
                     "Téléchargements » ; installez Vantrel dans Program Files (paquet MSI)"),
     refused_calls({"open_to_ordinary_users(C:\\Users\\H?l?ne\\T?l?chargements\\vantrel.exe)",
                    "open_to_ordinary_users(C:\\Users\\H?l?ne\\T?l?chargements)"})},
    {"install_refused_when_users_may_change_the_framework_folder", Command::Install,
     {.places = {{FRAMEWORK, true}}},
     std::unexpected("installation refusée : des utilisateurs ordinaires peuvent modifier « C:\\Program Files\\Vantrel "
                     "HAL\\framework » ; installez Vantrel dans Program Files (paquet MSI)"),
     refused_calls({EXECUTABLE_CHECKED, FOLDER_CHECKED, FRAMEWORK_CHECKED})},
    // At the root of a drive the folder is "C:\", and the framework folder "C:\framework".
    {"install_refused_at_a_drive_root", Command::Install,
     {.executable_path = u"C:\\vantrel.exe", .places = {{u"C:\\", true}}},
     std::unexpected("installation refusée : des utilisateurs ordinaires peuvent modifier « C:\\ » ; installez "
                     "Vantrel dans Program Files (paquet MSI)"),
     refused_calls({"open_to_ordinary_users(C:\\vantrel.exe)", "open_to_ordinary_users(C:\\)"})},
    // A name Windows accepts but Unicode does not is shown with U+FFFD.
    {"install_refused_path_with_a_lone_surrogate_shown_replaced", Command::Install,
     {.executable_path = u"D:\\x\xD800y\\vantrel.exe", .places = {{u"D:\\x\xD800y", true}}},
     std::unexpected("installation refusée : des utilisateurs ordinaires peuvent modifier « D:\\x\uFFFDy » ; "
                     "installez Vantrel dans Program Files (paquet MSI)"),
     refused_calls({"open_to_ordinary_users(D:\\x?y\\vantrel.exe)", "open_to_ordinary_users(D:\\x?y)"})},
    {"install_without_a_framework_folder", Command::Install, {.places = {{FRAMEWORK, std::unexpected(3)}}},
     INSTALLED, install_calls(1, true)},
    {"install_refused_when_the_folder_security_is_unreadable", Command::Install,
     {.places = {{FOLDER, std::unexpected(5)}}},
     std::unexpected("installation refusée : sécurité de « C:\\Program Files\\Vantrel HAL » illisible (code 5)"),
     refused_calls({EXECUTABLE_CHECKED, FOLDER_CHECKED})},
    // Only the framework folder may be absent.
    {"install_refused_when_the_folder_is_absent", Command::Install, {.places = {{FOLDER, std::unexpected(2)}}},
     std::unexpected("installation refusée : sécurité de « C:\\Program Files\\Vantrel HAL » illisible (code 2)"),
     refused_calls({EXECUTABLE_CHECKED, FOLDER_CHECKED})},
    // A deletion still pending: waited for, within a limit.
    {"install_waits_for_a_pending_deletion", Command::Install, {.pending_deletions = 3}, INSTALLED,
     install_calls(4, true)},
    {"install_pending_deletion_then_already_exists", Command::Install, {.pending_deletions = 1, .create_service = 1073},
     "le service VantrelHal est déjà installé\n", install_calls(2, false)},
    {"install_succeeds_at_the_last_attempt", Command::Install, {.pending_deletions = 60}, INSTALLED,
     install_calls(61, true)},
    {"install_gives_up_after_30_seconds_of_pending_deletion", Command::Install, {.create_service = 1072},
     std::unexpected("le service VantrelHal est encore en cours de suppression après 30 s (code 1072) : fermez la "
                     "console Services et les programmes qui l'ouvrent, ou redémarrez Windows, puis recommencez"),
     install_calls(61, false)},
    {"uninstall_manager_refused", Command::Uninstall, {.open_manager = 1722},
     std::unexpected("gestionnaire de services inaccessible (code 1722) : invite administrateur requise"),
     {"open_manager"}},
    {"uninstall_not_installed", Command::Uninstall, {.open_service = 1060}, "le service VantrelHal n'est pas installé\n",
     OPENED_FOR_REMOVAL},
    // Still installed: no success for a removal that did not happen.
    {"uninstall_open_refused", Command::Uninstall, {.open_service = 5},
     std::unexpected("ouverture du service refusée (code 5)"), OPENED_FOR_REMOVAL},
    {"uninstall_deleted", Command::Uninstall, {}, "service VantrelHal désinstallé\n", DELETION_ASKED},
    {"uninstall_deletion_refused", Command::Uninstall, {.delete_service = 1072},
     std::unexpected("suppression du service refusée (code 1072)"), DELETION_ASKED},
};

class ServiceInstallation : public testing::TestWithParam<Row> {};

TEST_P(ServiceInstallation, GivesExactOutcomeAndClosesEveryHandle) {
    const Row& row = GetParam();
    FakeServiceManager services(row.answers);
    const auto outcome = row.command == Command::Install ? install_service(services) : uninstall_service(services);
    EXPECT_EQ(shown(outcome), shown(row.outcome));
    EXPECT_EQ(services.calls, row.calls);
}

INSTANTIATE_TEST_SUITE_P(Commands, ServiceInstallation, testing::ValuesIn(ROWS), test::RowName{});

}  // namespace
}  // namespace vantrel
