#include "src/profiles/catalogue.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>

#include "src/profiles/decode.hpp"
#include "src/profiles/profile_files.hpp"
#include "src/profiles/validation.hpp"
#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

// A thread is started for every so many files at most: starting one costs about what loading a
// few files does, so a small directory is loaded by the calling thread alone.
constexpr std::size_t FILES_PER_THREAD = 64;

// The extension is what follows the last dot of the name, and a name whose only dot is its
// first character (".toml") has none. Case matters: "x.TOML" is not kept.
bool has_toml_extension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot != 0 && name.substr(dot + 1) == "toml";
}

std::expected<MachineProfile, LoadError> load_profile_file(const std::string& path) {
    std::expected<std::string, LoadError> text = read_whole_file(path);
    if (!text) return std::unexpected(std::move(text.error()));
    // Deliberately this exact English text, not a French one: it is the program's contract for
    // a profile file that is not UTF-8.
    if (!is_valid_utf8(*text))
        return std::unexpected(LoadError{"stream did not contain valid UTF-8"});
    std::expected<MachineProfile, ProfileError> profile = parse_profile(*text);
    if (!profile) return std::unexpected(LoadError{display_path(path) + " : " + profile.error().message});
    return std::move(*profile);
}

// The files are shared out between threads, one at a time, in name order. Each result goes to
// the file's own place, so the catalogue keeps name order and the failure reported is the first in
// name order, whichever thread met it first. Once a file has failed, the files after it are left:
// every file before it has already been taken and is finished before the threads are joined.
class ParallelLoad {
public:
    ParallelLoad(const std::string& dir, const std::vector<std::string>& names)
        : dir_(dir), names_(names), results_(names.size()), thrown_(names.size()), first_failure_(names.size()) {}

    void run() {
        const std::size_t wanted = std::min(loading_threads(), names_.size() / FILES_PER_THREAD);
        std::vector<std::jthread> helpers;
        helpers.reserve(wanted);
        for (std::size_t i = 1; i < wanted; ++i) {
            try {
                helpers.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;  // no more threads to be had: those started and this one do the work
            }
        }
        work();
    }  // the helpers are joined here

    // The catalogue, or the first failure in name order; an exception met while loading a file is
    // thrown again here, in its place in that order.
    std::expected<ProfileCatalogue, LoadError> result() && {
        ProfileCatalogue catalogue;
        catalogue.reserve(names_.size());
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (thrown_[i]) std::rethrow_exception(thrown_[i]);
            if (!results_[i]) return std::unexpected(std::move(results_[i].error()));
            catalogue.push_back(std::move(*results_[i]));
        }
        return catalogue;
    }

private:
    void work() {
        for (std::size_t i = next_++; i < names_.size() && i < first_failure_; i = next_++) {
            try {
                results_[i] = load_profile_file(join_path(dir_, names_[i]));
                if (results_[i]) continue;
            } catch (...) {
                thrown_[i] = std::current_exception();
            }
            std::size_t failure = first_failure_;
            while (i < failure && !first_failure_.compare_exchange_weak(failure, i)) {
            }
        }
    }

    const std::string& dir_;
    const std::vector<std::string>& names_;
    std::vector<std::expected<MachineProfile, LoadError>> results_;
    std::vector<std::exception_ptr> thrown_;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> first_failure_;
};

}  // namespace

std::expected<MachineProfile, ProfileError> parse_profile(std::string_view text) {
    std::expected<MachineProfile, ProfileError> profile = decode_profile(text);
    if (!profile) return profile;
    if (std::expected<void, ProfileError> valid = validate_profile(*profile); !valid)
        return std::unexpected(std::move(valid.error()));
    return profile;
}

std::expected<ProfileCatalogue, LoadError> load_profiles(const std::string& dir) {
    std::expected<std::vector<std::string>, LoadError> names = list_directory(dir);
    if (!names) return std::unexpected(std::move(names.error()));
    std::erase_if(*names, [](const std::string& name) { return !has_toml_extension(name); });
    // Every path shares `dir`, so comparing the names byte by byte orders the paths component by
    // component.
    std::ranges::sort(*names);

    ParallelLoad load(dir, *names);
    load.run();
    return std::move(load).result();
}

}  // namespace vantrel
