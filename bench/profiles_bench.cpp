// Loading a profiles directory: listing, sorting, reading and parsing grow with the number of
// files. Each run loads N small profiles from a temporary directory written once per size.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "profiles/catalogue.hpp"
#include "profiles/decode.hpp"

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

void BM_ParseProfile(benchmark::State& state) {
    const std::string text = small_profile(1);
    for (auto _ : state) benchmark::DoNotOptimize(vantrel::parse_profile(text));
}
BENCHMARK(BM_ParseProfile);

// A valid profile whose last line, of about `bytes` bytes, is one access table: `platform_profile`
// ignores its other keys, so the decoder reads the whole line and succeeds.
std::string one_long_line(std::size_t bytes, bool floats) {
    std::string text =
        "schema_version = 1\nid = \"long\"\ndisplay_name = \"Long\"\nscope = \"model\"\n"
        "matches = { mtm = [\"20AB\"] }\n[[capabilities]]\nid = \"c\"\nlabel = \"C\"\n"
        "confidence = \"assumed\"\nsources = [\"s\"]\naccess = { method = \"platform_profile\", ";
    const std::size_t end = text.size() + bytes;
    if (floats) {
        text += "values = [";
        for (int i = 0; text.size() < end; ++i) text += std::to_string(i) + ".5, ";
        text += "] }\n";
    } else {
        for (int i = 0; text.size() < end; ++i) text += "k" + std::to_string(i) + " = 1, ";
        text += "}\n";
    }
    return text;
}

void decode_long_line(benchmark::State& state, bool floats) {
    const std::string text = one_long_line(static_cast<std::size_t>(state.range(0)), floats);
    for (auto _ : state) {
        auto profile = vantrel::decode_profile(text);
        if (!profile) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(profile);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// One line holding an inline table of many keys, then an array of many floats: each key and float
// is located in the text, which must not cost more on a long line than on a short one.
void BM_DecodeLongLineKeys(benchmark::State& state) { decode_long_line(state, false); }
BENCHMARK(BM_DecodeLongLineKeys)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_DecodeLongLineFloats(benchmark::State& state) { decode_long_line(state, true); }
BENCHMARK(BM_DecodeLongLineFloats)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
