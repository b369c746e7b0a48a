// `service install` and `service uninstall` against a fake service manager: every branch and
// message, the command line stored, and which handles are closed when.
#include "service/service_commands.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "test/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

using ErrorCode = ServiceManager::ErrorCode;

// What the fake manager answers; 0 is success.
struct Answers {
    ErrorCode open_manager = 0;
    std::expected<std::u16string, std::string> executable_path = u"C:\\Program Files\\Vantrel HAL\\vantrel.exe";
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
    std::expected<OwnedHandle, ErrorCode> create_service(const Handle& manager,
                                                         std::u16string_view command_line) override {
        calls.push_back("create_service(" + name_of(manager) + ", " + ascii(command_line) + ")");
        return answer(answers_.create_service, "service");
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
    // The rows' paths are ASCII.
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
    {"install_created_with_the_path_quoted", Command::Install, {},
     "service VantrelHal installé et démarré au prochain reboot\ndémarrez-le avec : sc start VantrelHal\n",
     {"open_manager", "executable_path", STORED_WITH_BLANKS, "close(manager)", "close(service)"}},
    {"install_already_exists", Command::Install, {.create_service = 1073}, "le service VantrelHal est déjà installé\n",
     {"open_manager", "executable_path", STORED_WITH_BLANKS, "close(manager)"}},
    {"install_creation_refused", Command::Install, {.create_service = 1072},
     std::unexpected("création du service refusée (code 1072)"),
     {"open_manager", "executable_path", STORED_WITH_BLANKS, "close(manager)"}},
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
