// Loading a profiles directory: listing, sorting, reading and parsing grow with the number of
// files. Each run loads N small profiles from a temporary directory written once per size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "src/profiles/catalogue.hpp"
#include "src/profiles/decode.hpp"

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
            state.SkipWithError(catalogue.error().message.c_str());
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

// Valid profiles of about `bytes` more bytes than a small one, in the shapes a document can take.
// Decoding time must grow with the size alone, whatever the shape.
enum class Shape { LongLineKeys, LongLineFloats, ShortLines, HugeString, Comments, Nesting, ReopenedTables };

std::string profile_of_shape(Shape shape, std::size_t bytes) {
    std::string text =
        "schema_version = 1\nid = \"long\"\ndisplay_name = \"Long\"\nscope = \"model\"\n"
        "matches = { mtm = [\"20AB\"] }\n[[capabilities]]\nid = \"c\"\nlabel = \"C\"\n"
        "confidence = \"assumed\"\nsources = [\"s\"]\n";
    const std::size_t end = text.size() + bytes;
    // `platform_profile` ignores the access table's other keys: the decoder reads them and succeeds.
    switch (shape) {
        case Shape::LongLineKeys:
            text += "access = { method = \"platform_profile\", ";
            for (int i = 0; text.size() < end; ++i) text += "k" + std::to_string(i) + " = 1, ";
            text += "}\n";
            break;
        case Shape::LongLineFloats:
            text += "access = { method = \"platform_profile\", values = [";
            for (int i = 0; text.size() < end; ++i) text += std::to_string(i) + ".5, ";
            text += "] }\n";
            break;
        case Shape::ShortLines:
            text += "[capabilities.access]\nmethod = \"platform_profile\"\n";
            for (int i = 0; text.size() < end; ++i) text += "k" + std::to_string(i) + " = 1\n";
            break;
        case Shape::HugeString:
            text += "notes = \"" + std::string(bytes, 'x') + "\"\naccess = { method = \"platform_profile\" }\n";
            break;
        case Shape::Comments:
            text += "access = { method = \"platform_profile\" }\n";
            while (text.size() < end) text += "# commentaire [[{ \"é\n";
            break;
        case Shape::Nesting:
            // Arrays 90 deep, each on its own line: close to the nesting limit.
            text += "[capabilities.access]\nmethod = \"platform_profile\"\n";
            for (int i = 0; text.size() < end; ++i)
                text += "k" + std::to_string(i) + " = " + std::string(90, '[') + std::string(90, ']') + "\n";
            break;
        case Shape::ReopenedTables: {
            // Dotted-key tables, each opened twice (toml++ looks each up among all the others), up
            // to the most that the limit of 10,000 tables lets through.
            text += "[capabilities.access]\nmethod = \"platform_profile\"\n";
            const std::size_t tables = std::min<std::size_t>(4990, bytes / 22);
            for (std::size_t i = 0; i < tables; ++i) text += "t" + std::to_string(i) + ".x = 1\n";
            for (std::size_t i = 0; i < tables; ++i) text += "t" + std::to_string(i) + ".y = 1\n";
            break;
        }
    }
    return text;
}

void BM_Decode(benchmark::State& state, Shape shape) {
    const std::string text = profile_of_shape(shape, static_cast<std::size_t>(state.range(0)));
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
// One line holding an inline table of many keys, then an array of many floats: every key and
// float is located in the text, which must not cost more on a long line than on a short one.
BENCHMARK_CAPTURE(BM_Decode, long_line_keys, Shape::LongLineKeys)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, long_line_floats, Shape::LongLineFloats)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, short_lines, Shape::ShortLines)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, huge_string, Shape::HugeString)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, comments, Shape::Comments)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, nesting, Shape::Nesting)->Arg(64 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, reopened_tables, Shape::ReopenedTables)->Arg(64 << 10)->Arg(256 << 10)->Unit(benchmark::kMillisecond);

}  // namespace
