// Loading a profiles directory: listing, sorting, reading and parsing grow with the number of
// files. Each run loads N small profiles from a temporary directory written once per size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "profiles/catalogue.hpp"

namespace {

namespace fs = std::filesystem;

std::string small_profile(int index) {
    const std::string id = "modele-" + std::to_string(index);
    return "schema_version = 1\nid = \"" + id + "\"\ndisplay_name = \"Modèle " + std::to_string(index) +
           "\"\nscope = \"model\"\n\n[matches]\nmtm = [\"20AB\", \"20AC\"]\n\n[[capabilities]]\n"
           "id = \"power_mode\"\nlabel = \"Mode d'alimentation\"\naccess = { method = \"platform_profile\" }\n"
           "confidence = \"assumed\"\nsources = [\"documentation\"]\n";
}

class ProfilesDirectory {
public:
    explicit ProfilesDirectory(int count)
        : path_(fs::temp_directory_path() / ("vantrel-bench-profiles-" + std::to_string(count))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
        for (int i = 0; i < count; ++i) std::ofstream(path_ / ("p" + std::to_string(i) + ".toml")) << small_profile(i);
    }
    ProfilesDirectory(const ProfilesDirectory&) = delete;
    ProfilesDirectory& operator=(const ProfilesDirectory&) = delete;
    ~ProfilesDirectory() { fs::remove_all(path_); }
    [[nodiscard]] std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

void BM_LoadProfiles(benchmark::State& state) {
    const ProfilesDirectory directory(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto catalogue = vantrel::load_profiles(directory.path());
        if (!catalogue || catalogue->size() != static_cast<std::size_t>(state.range(0))) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(catalogue);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadProfiles)->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The profiles shipped with the tool, as `detect` and `profiles` load them by default.
void BM_LoadShippedProfiles(benchmark::State& state) {
    std::size_t count = 0;
    for (auto _ : state) {
        auto catalogue = vantrel::load_profiles(VANTREL_SHIPPED_PROFILES);
        if (!catalogue) {
            state.SkipWithError(catalogue.error().display().c_str());
            break;
        }
        count = catalogue->size();
        benchmark::DoNotOptimize(catalogue);
    }
    state.counters["profiles"] = static_cast<double>(count);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(count));
}
BENCHMARK(BM_LoadShippedProfiles)->Unit(benchmark::kMicrosecond);

void BM_ParseProfile(benchmark::State& state) {
    const std::string text = small_profile(1);
    for (auto _ : state) benchmark::DoNotOptimize(vantrel::parse_profile(text));
}
BENCHMARK(BM_ParseProfile);

}  // namespace
