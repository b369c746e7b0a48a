#pragma once

#include <expected>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

// The usage text: 15 lines of UTF-8, no line feed after the last line.
inline constexpr std::string_view USAGE =
    "Usage :\n"
    "  vantrel detect   [--profiles DIR] [--out FICHIER]\n"
    "  vantrel profiles [--profiles DIR]\n"
    "  vantrel keyboard [NIVEAU]            (rétroéclairage du clavier : 0 à 2)\n"
    "  vantrel service  install|uninstall   (Windows : gestionnaire de services)\n"
    "  vantrel --service                    (interne : lancé par Windows)\n"
    "\n"
    "Options :\n"
    "  --profiles  dossier des profils machine TOML (défaut : ./profiles)\n"
    "  --out       écrit le rapport JSON anonymisé dans FICHIER (detect uniquement)\n"
    "\n"
    "La détection lit toujours la machine locale, en lecture seule ;\n"
    "seul keyboard NIVEAU y change quelque chose : le rétroéclairage du clavier.\n"
    "\n"
    "Sortie : JSON sur stdout. Codes de sortie : 0 succès, 1 erreur, 2 usage.";

// What the command line parsed, for every command but `--service` and `-h`/`--help`.
struct CliOptions {
    std::string command;                        // the first argument, unchanged
    std::string profiles_dir = "profiles";      // relative to the current directory
    std::optional<std::string> service_action;  // second argument of `service` only
    std::optional<std::string> out_path;        // value of the last `--out`
};

// What every action returns: its value, or its failure as a French message.
template <typename T>
using ActionOutcome = std::expected<T, std::string>;

// The actions the command line runs. The executable wires the real ones; tests pass doubles.
// Only the command line prints an action's failure ("erreur : ") and picks the exit code.
struct CliActions {
    // Given the profiles directory: the rendered JSON document.
    std::function<ActionOutcome<std::string>(const std::string& profiles_dir)> detect;
    std::function<ActionOutcome<std::string>(const std::string& profiles_dir)> list_profiles;
    // Prints the document on `out`, or writes it into the file at `out_path`.
    std::function<ActionOutcome<void>(std::string_view document, const std::optional<std::string>& out_path,
                                      std::ostream& out)>
        write_output;
    // The progress messages, whole lines, that the command line prints on standard output.
    std::function<ActionOutcome<std::string>()> install_service;
    std::function<ActionOutcome<std::string>()> uninstall_service;
    // `keyboard`: given the wanted level (0 to 2, already limited), or none to read: the rendered
    // JSON document of the backlight's state.
    std::function<ActionOutcome<std::string>(std::optional<std::uint8_t> level)> keyboard;
    // Blocks while the process runs as a service, until the service manager hands control back.
    std::function<ActionOutcome<void>()> run_service;
};

// Runs one command line (arguments after the program name, UTF-8) and returns the exit code:
// 0 success or help, 1 the action failed (an exception escaping an action included), 2 the
// command line was wrong.
[[nodiscard]] int run_command_line(std::span<const std::string> args, const CliActions& actions,
                                   std::ostream& out, std::ostream& err);

// The level of `keyboard NIVEAU`: decimal digits only, 2 or more meaning 2, however many digits;
// absent for anything else (a sign, a blank, a fraction, an empty text).
[[nodiscard]] std::optional<std::uint8_t> parse_backlight_level(std::string_view text);

// Prints a usage error ("erreur : {message}", an empty line, the usage text) and returns 2.
int report_usage_error(std::ostream& err, std::string_view message);

// Only inside a catch block: prints "erreur : {message}" for the exception being handled (an
// allocation failure is "mémoire insuffisante") and returns 1. Nothing escapes an entry point:
// no abort, no exit code outside 0, 1 and 2.
int report_escaped_exception(std::ostream& err) noexcept;

}  // namespace vantrel
