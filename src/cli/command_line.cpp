#include "src/cli/command_line.hpp"

#include <ostream>
#include <variant>

#include "hal/src/backlight.hpp"
#include "src/util/exception_text.hpp"
#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// Before every failure the command line reports, but two usage errors (BareUsageError).
constexpr std::string_view FAILURE_PREFIX = "erreur : ";

struct UsageError {
    std::string message;
};

// A usage error that carries no failure prefix (unknown command or service sub-action).
struct BareUsageError {
    std::string text;
};

using ParseOutcome = std::variant<CliOptions, UsageError, BareUsageError>;

int print_usage(std::ostream& out, int exit_code) {
    out << USAGE << '\n';
    out.flush();
    return exit_code;
}

int report_bare_usage_error(std::ostream& err, std::string_view text) {
    err << text << "\n\n" << USAGE << '\n';
    err.flush();
    return EXIT_USAGE;
}

int report_failure(std::ostream& err, std::string_view message) {
    err << FAILURE_PREFIX << message << '\n';
    err.flush();
    return EXIT_FAILED;
}

int exit_code(const ActionOutcome<void>& outcome, std::ostream& err) {
    return outcome ? EXIT_OK : report_failure(err, outcome.error());
}

// Options are name/value pairs read left to right after the command word; the command word
// itself is examined only once every pair has been read.
ParseOutcome parse_options(std::span<const std::string> args) {
    CliOptions options;
    options.command = args[0];
    for (std::size_t i = 1; i < args.size(); i += 2) {
        const std::string& name = args[i];
        // The missing value is reported before the name is looked at.
        if (i + 1 == args.size()) return UsageError{"valeur manquante pour " + name};
        if (name == "--out") {
            options.out_path = args[i + 1];
        } else if (name == "--profiles") {
            options.profiles_dir = args[i + 1];
        } else {
            return UsageError{"option inconnue : " + name};
        }
    }
    if (options.command != "detect" && options.command != "profiles")
        return BareUsageError{"commande inconnue : " + options.command};
    return options;
}

int run_service_command(std::span<const std::string> args, const CliActions& actions,
                        std::ostream& out, std::ostream& err) {
    if (args.size() < 2)
        return report_usage_error(err, "sous-action manquante pour service : install ou uninstall");
    const std::string& action = args[1];
    ActionOutcome<std::string> messages;
    if (action == "install") {
        messages = actions.install_service();
    } else if (action == "uninstall") {
        messages = actions.uninstall_service();
    } else {
        return report_bare_usage_error(err, "commande service inconnue (install ou uninstall)");
    }
    if (!messages) return report_failure(err, messages.error());
    out << *messages;
    out.flush();
    return EXIT_OK;
}

// `keyboard [NIVEAU]`: reads the backlight, or sets it and reads it back. No option.
int run_keyboard_command(std::span<const std::string> args, const CliActions& actions, std::ostream& out,
                         std::ostream& err) {
    std::optional<std::uint8_t> level;
    if (args.size() > 1) {
        level = parse_backlight_level(args[1]);
        if (!level) return report_usage_error(err, "niveau invalide : " + args[1] + " (entier décimal de 0 ou plus)");
    }
    if (args.size() > 2) return report_usage_error(err, "argument en trop pour keyboard : " + args[2]);
    const auto document = actions.keyboard(level);
    if (!document) return report_failure(err, document.error());
    return exit_code(actions.write_output(*document, std::nullopt, out), err);
}

int dispatch(std::span<const std::string> args, const CliActions& actions, std::ostream& out, std::ostream& err) {
    if (args.empty()) return print_usage(out, EXIT_USAGE);
    const std::string& first = args[0];
    if (first == "--service") return exit_code(actions.run_service(), err);
    if (first == "-h" || first == "--help") return print_usage(out, EXIT_OK);
    if (first == "service") return run_service_command(args, actions, out, err);
    if (first == "keyboard") return run_keyboard_command(args, actions, out, err);

    ParseOutcome parsed = parse_options(args);
    if (auto* usage = std::get_if<UsageError>(&parsed)) return report_usage_error(err, usage->message);
    if (auto* bare = std::get_if<BareUsageError>(&parsed)) return report_bare_usage_error(err, bare->text);
    const CliOptions& options = std::get<CliOptions>(parsed);

    const auto document = options.command == "detect" ? actions.detect(options.profiles_dir)
                                                      : actions.list_profiles(options.profiles_dir);
    if (!document) return report_failure(err, document.error());
    return exit_code(actions.write_output(*document, options.out_path, out), err);
}

}  // namespace

std::optional<std::uint8_t> parse_backlight_level(std::string_view text) {
    if (text.empty()) return std::nullopt;
    // Limited digit by digit, so no number of digits overflows: once the highest level is reached,
    // more digits keep it there.
    std::uint8_t level = 0;
    for (const char c : text) {
        if (!is_ascii_digit(c)) return std::nullopt;
        level = limit_backlight_level(std::uint64_t{level} * 10 + static_cast<std::uint64_t>(c - '0'));
    }
    return level;
}

int report_usage_error(std::ostream& err, std::string_view message) {
    err << FAILURE_PREFIX << message << "\n\n" << USAGE << '\n';
    err.flush();
    return EXIT_USAGE;
}

int report_escaped_exception(std::ostream& err) noexcept {
    try {
        return report_failure(err, describe_current_exception());
    } catch (...) {
        // Not even the message could be written (no memory left for it): the exit code still says it.
        return EXIT_FAILED;
    }
}

int run_command_line(std::span<const std::string> args, const CliActions& actions,
                     std::ostream& out, std::ostream& err) {
    try {
        return dispatch(args, actions, out, err);
    } catch (...) {
        return report_escaped_exception(err);
    }
}

}  // namespace vantrel
