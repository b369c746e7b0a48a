#include "src/cli/command_line.hpp"

#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

// Records which action ran with what, and lets each case choose the actions' outcomes.
struct Recorder {
    std::vector<std::string> calls;
    ActionOutcome<std::string> document = std::string("{doc}");
    ActionOutcome<void> written;
    ActionOutcome<std::string> installed = std::string("installé\n");
    ActionOutcome<std::string> uninstalled = std::string();
    ActionOutcome<void> served;
    ActionOutcome<std::string> keyboard_document = std::string("{clavier}");
    std::function<void()> during_action = [] {};

    CliActions actions() {
        return CliActions{
            .detect =
                [this](const std::string& dir) {
                    calls.push_back("detect " + dir);
                    during_action();
                    return document;
                },
            .list_profiles = [this](const std::string& dir) { calls.push_back("profiles " + dir); return document; },
            .write_output =
                [this](std::string_view doc, const std::optional<std::string>& out_path, std::ostream& out) {
                    calls.push_back("write " + std::string(doc) + " -> " + out_path.value_or("stdout"));
                    if (!out_path) out << doc << '\n';
                    return written;
                },
            .install_service =
                [this] {
                    calls.push_back("install");
                    return installed;
                },
            .uninstall_service =
                [this] {
                    calls.push_back("uninstall");
                    return uninstalled;
                },
            .keyboard =
                [this](std::optional<std::uint8_t> level) {
                    calls.push_back(level ? "keyboard " + std::to_string(*level) : "keyboard read");
                    return keyboard_document;
                },
            .run_service = [this] { calls.push_back("run_service"); return served; },
        };
    }
};

struct Outcome {
    int code;
    std::string out;
    std::string err;
    std::vector<std::string> calls;
};

Outcome run(std::vector<std::string> args, Recorder recorder = {}) {
    std::ostringstream out, err;
    const int code = run_command_line(args, recorder.actions(), out, err);
    return {code, out.str(), err.str(), recorder.calls};
}

const std::string USAGE_LINE = std::string(USAGE) + "\n";

std::string usage_error(const std::string& message) { return "erreur : " + message + "\n\n" + USAGE_LINE; }

std::string invalid_level(const std::string& text) {
    return usage_error("niveau invalide : " + text + " (entier décimal de 0 ou plus)");
}

TEST(Usage, IsFifteenLinesOf700Bytes) {
    EXPECT_EQ(USAGE.size(), 700u);
    EXPECT_EQ(std::count(USAGE.begin(), USAGE.end(), '\n'), 14);
    EXPECT_NE(USAGE.back(), '\n');
    // The notes of the command lines start in one column.
    for (const std::string_view line : {"  vantrel keyboard [NIVEAU]            (", "  vantrel service  install|uninstall   (",
                                        "  vantrel --service                    ("}) {
        EXPECT_NE(USAGE.find(line), std::string_view::npos) << line;
    }
}

struct Row {
    const char* name;
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string err;
    std::vector<std::string> calls;
};

class CommandLineTable : public testing::TestWithParam<Row> {};

TEST_P(CommandLineTable, GivesExactStreamsCodeAndCalls) {
    const Row& row = GetParam();
    const Outcome got = run(row.args);
    EXPECT_EQ(got.code, row.code);
    EXPECT_EQ(got.out, row.out);
    EXPECT_EQ(got.err, row.err);
    EXPECT_EQ(got.calls, row.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CommandLineTable,
    testing::Values(
        Row{"no_arguments", {}, 2, USAGE_LINE, "", {}},
        Row{"short_help", {"-h"}, 0, USAGE_LINE, "", {}},
        Row{"long_help", {"--help"}, 0, USAGE_LINE, "", {}},
        Row{"help_before_command", {"-h", "detect"}, 0, USAGE_LINE, "", {}},
        Row{"help_before_anything", {"--help", "anything"}, 0, USAGE_LINE, "", {}},
        Row{"service_mode", {"--service"}, 0, "", "", {"run_service"}},
        Row{"service_mode_ignores_extra_words", {"--service", "extra", "words"}, 0, "", "", {"run_service"}},
        Row{"service_without_subcommand",
            {"service"}, 2, "", usage_error("sous-action manquante pour service : install ou uninstall"), {}},
        Row{"service_install", {"service", "install"}, 0, "installé\n", "", {"install"}},
        Row{"service_install_ignores_options",
            {"service", "install", "--profiles", "x"}, 0, "installé\n", "", {"install"}},
        Row{"service_uninstall", {"service", "uninstall"}, 0, "", "", {"uninstall"}},
        Row{"service_help_is_an_unknown_subcommand",
            {"service", "--help"}, 2, "", "commande service inconnue (install ou uninstall)\n\n" + USAGE_LINE, {}},
        Row{"service_subcommand_case_differs",
            {"service", "Install"}, 2, "", "commande service inconnue (install ou uninstall)\n\n" + USAGE_LINE, {}},
        Row{"detect", {"detect"}, 0, "{doc}\n", "", {"detect profiles", "write {doc} -> stdout"}},
        Row{"profiles", {"profiles"}, 0, "{doc}\n", "", {"profiles profiles", "write {doc} -> stdout"}},
        Row{"detect_then_short_help", {"detect", "-h"}, 2, "", usage_error("valeur manquante pour -h"), {}},
        Row{"detect_then_long_help", {"detect", "--help", "x"}, 2, "", usage_error("option inconnue : --help"), {}},
        Row{"detect_out_without_value", {"detect", "--out"}, 2, "", usage_error("valeur manquante pour --out"), {}},
        Row{"detect_extra_word", {"detect", "extra"}, 2, "", usage_error("valeur manquante pour extra"), {}},
        Row{"detect_two_extra_words", {"detect", "a", "b"}, 2, "", usage_error("option inconnue : a"), {}},
        Row{"unknown_command_then_option_without_value",
            {"frobnicate", "--out"}, 2, "", usage_error("valeur manquante pour --out"), {}},
        Row{"unknown_command", {"frobnicate"}, 2, "", "commande inconnue : frobnicate\n\n" + USAGE_LINE, {}},
        Row{"command_capitalised", {"Detect"}, 2, "", "commande inconnue : Detect\n\n" + USAGE_LINE, {}},
        Row{"command_in_upper_case", {"DETECT"}, 2, "", "commande inconnue : DETECT\n\n" + USAGE_LINE, {}},
        Row{"option_before_command", {"--out", "x", "detect"}, 2, "", usage_error("option inconnue : x"), {}},
        Row{"repeated_profiles_last_wins",
            {"detect", "--profiles", "a", "--profiles", "b"}, 0, "{doc}\n", "", {"detect b", "write {doc} -> stdout"}},
        Row{"repeated_out_last_wins",
            {"detect", "--out", "x", "--out", "y"}, 0, "", "", {"detect profiles", "write {doc} -> y"}},
        Row{"out_with_equals_sign",
            {"detect", "--out=report.json"}, 2, "", usage_error("valeur manquante pour --out=report.json"), {}},
        Row{"detect_then_service_option",
            {"detect", "--service"}, 2, "", usage_error("valeur manquante pour --service"), {}},
        Row{"profiles_value_looking_like_an_option",
            {"detect", "--profiles", "--out"}, 0, "{doc}\n", "", {"detect --out", "write {doc} -> stdout"}},
        Row{"empty_profiles_value",
            {"detect", "--profiles", ""}, 0, "{doc}\n", "", {"detect ", "write {doc} -> stdout"}},
        Row{"profiles_to_file",
            {"profiles", "--out", "list.json"}, 0, "", "", {"profiles profiles", "write {doc} -> list.json"}},
        Row{"keyboard_reads", {"keyboard"}, 0, "{clavier}\n", "", {"keyboard read", "write {clavier} -> stdout"}},
        Row{"keyboard_level_0", {"keyboard", "0"}, 0, "{clavier}\n", "", {"keyboard 0", "write {clavier} -> stdout"}},
        Row{"keyboard_level_1", {"keyboard", "1"}, 0, "{clavier}\n", "", {"keyboard 1", "write {clavier} -> stdout"}},
        Row{"keyboard_level_7_is_2", {"keyboard", "7"}, 0, "{clavier}\n", "", {"keyboard 2", "write {clavier} -> stdout"}},
        Row{"keyboard_leading_zeros", {"keyboard", "001"}, 0, "{clavier}\n", "", {"keyboard 1", "write {clavier} -> stdout"}},
        Row{"keyboard_thirty_digits_is_2", {"keyboard", "999999999999999999999999999999"}, 0, "{clavier}\n", "",
            {"keyboard 2", "write {clavier} -> stdout"}},
        Row{"keyboard_negative", {"keyboard", "-1"}, 2, "", invalid_level("-1"), {}},
        Row{"keyboard_plus_sign", {"keyboard", "+1"}, 2, "", invalid_level("+1"), {}},
        Row{"keyboard_fraction", {"keyboard", "1.5"}, 2, "", invalid_level("1.5"), {}},
        Row{"keyboard_blank_before", {"keyboard", " 1"}, 2, "", invalid_level(" 1"), {}},
        Row{"keyboard_empty", {"keyboard", ""}, 2, "", invalid_level(""), {}},
        Row{"keyboard_word", {"keyboard", "max"}, 2, "", invalid_level("max"), {}},
        Row{"keyboard_fullwidth_digit", {"keyboard", "\xEF\xBC\x91"}, 2, "", invalid_level("\xEF\xBC\x91"), {}},
        Row{"keyboard_option", {"keyboard", "--profiles", "x"}, 2, "", invalid_level("--profiles"), {}},
        Row{"keyboard_extra_argument", {"keyboard", "1", "x"}, 2, "", usage_error("argument en trop pour keyboard : x"), {}},
        Row{"keyboard_capitalised", {"Keyboard"}, 2, "", "commande inconnue : Keyboard\n\n" + USAGE_LINE, {}},
        Row{"profiles_non_ascii_directory",
            {"profiles", "--profiles", "é dir"}, 0, "{doc}\n", "", {"profiles é dir", "write {doc} -> stdout"}}),
    test::RowName{});

TEST(ActionOutcomes, FailedDetectionPrintsTheMessageOnceAndExits1) {
    Recorder recorder;
    recorder.document = std::unexpected(std::string("profils (x) : absent"));
    const Outcome got = run({"detect", "--profiles", "x", "--out", "r.json"}, recorder);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "erreur : profils (x) : absent\n");
    EXPECT_EQ(got.calls, (std::vector<std::string>{"detect x"}));  // nothing written
}

TEST(ActionOutcomes, FailedWriteIsPrintedAfterErreurAndExits1) {
    Recorder recorder;
    recorder.written = std::unexpected(std::string("écriture de f : disque plein"));
    const Outcome got = run({"profiles", "--out", "f"}, recorder);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "erreur : écriture de f : disque plein\n");
}

TEST(ActionOutcomes, FailedKeyboardPrintsTheErrorOnceAndExits1) {
    Recorder recorder;
    recorder.keyboard_document =
        std::unexpected(std::string("ressource non disponible : aucune interface de rétroéclairage clavier détectée"));
    const Outcome got = run({"keyboard", "2"}, recorder);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "erreur : ressource non disponible : aucune interface de rétroéclairage clavier détectée\n");
    EXPECT_EQ(got.calls, (std::vector<std::string>{"keyboard 2"}));
}

TEST(ActionOutcomes, FailedServiceCommandPrintsErreurAndExits1) {
    for (const char* action : {"install", "uninstall"}) {
        Recorder recorder;
        recorder.installed = recorder.uninstalled = std::unexpected(std::string("accès refusé au gestionnaire"));
        const Outcome got = run({"service", action}, recorder);
        EXPECT_EQ(got.code, 1) << action;
        EXPECT_EQ(got.out, "") << action;
        EXPECT_EQ(got.err, "erreur : accès refusé au gestionnaire\n") << action;
    }
}

TEST(ActionOutcomes, ExceptionEscapingAnActionIsAFailureNotAnAbort) {
    const struct {
        const char* name;
        std::function<void()> throws;
        std::string err;
    } rows[] = {
        {"allocation_failure", [] { throw std::bad_alloc(); }, "erreur : mémoire insuffisante\n"},
        {"array_too_long", [] { throw std::bad_array_new_length(); }, "erreur : mémoire insuffisante\n"},
        {"standard_exception_not_utf8", [] { throw std::runtime_error("\xE9tat"); },
         "erreur : erreur inattendue : \uFFFDtat\n"},
        {"not_a_standard_exception", [] { throw 42; }, "erreur : erreur inattendue\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder recorder;
        recorder.during_action = row.throws;
        const Outcome got = run({"detect", "--out", "r.json"}, recorder);
        EXPECT_EQ(got.code, 1);
        EXPECT_EQ(got.out, "");
        EXPECT_EQ(got.err, row.err);
        EXPECT_EQ(got.calls, (std::vector<std::string>{"detect profiles"}));
    }
}

TEST(ActionOutcomes, RefusedDispatcherIsPrintedAfterErreurAndExits1) {
    Recorder recorder;
    recorder.served = std::unexpected(std::string("démarrage par le Gestionnaire de services refusé (code 1063)"));
    const Outcome got = run({"--service"}, recorder);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "erreur : démarrage par le Gestionnaire de services refusé (code 1063)\n");
    EXPECT_EQ(got.calls, (std::vector<std::string>{"run_service"}));
}

}  // namespace
}  // namespace vantrel
