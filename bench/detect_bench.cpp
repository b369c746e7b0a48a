// A whole `detect` in-process (directory listing, every profile read and validated, the firmware
// table walked, the three resolution phases, the report rendered) against 1,000 profiles, and its
// parts: resolution alone and report rendering.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "src/cli/commands.hpp"
#include "src/cli/documents.hpp"
#include "src/cli/resolution.hpp"
#include "tests/support/firmware_stored.hpp"
#include "src/profiles/catalogue.hpp"
#include "tests/support/table_builder.hpp"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string profile_text(int i) {
    char mtm[8];
    std::snprintf(mtm, sizeof mtm, "%04X", 0x1000 + i);  // never the machine's 20AB
    return "schema_version = 1\nid = \"p" + std::to_string(i) + "\"\ndisplay_name = \"Modele " +
           std::to_string(i) + "\"\nscope = \"" + (i % 10 == 9 ? "family" : "model") + "\"\n[matches]\nmtm = [\"" +
           mtm + "\"]\nversion_contains = [\"fragment " + std::to_string(i) + "\"]\n\n[[capabilities]]\n"
           "id = \"power_mode\"\nlabel = \"Mode\"\naccess = { method = \"platform_profile\" }\n"
           "confidence = \"assumed\"\nsources = [\"documentation\"]\n";
}

// 1,000 profiles none of which matches, so every phase walks the whole catalogue.
struct Catalogue1000 {
    Catalogue1000() : dir(fs::temp_directory_path() / "vantrel-bench-detect") {
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (int i = 0; i < 1000; ++i) std::ofstream(dir / ("p" + std::to_string(i) + ".toml")) << profile_text(i);
    }
    ~Catalogue1000() { fs::remove_all(dir); }
    fs::path dir;
};

std::vector<std::uint8_t> thinkpad_table() {
    smbios_fixture::TableBuilder table;
    table.structure(0, {1, 2, 0, 0, 3}, {"LENOVO", "N2XET39W (1.23 )", "01/02/2024"})
        .structure(1, {1, 2, 3}, {"LENOVO", "20ABCTO1WW", "ThinkPad Exemple 14 Gen 2"})
        .end_of_table();
    return table.bytes();
}

void BM_DetectAgainst1000Profiles(benchmark::State& state) {
    static Catalogue1000 catalogue;
    StoredFirmwareSource firmware(thinkpad_table());
    for (auto _ : state) {
        auto report = detect(catalogue.dir.string(), firmware, "linux-sysfs");
        if (!report) state.SkipWithError(report.error().c_str());
        benchmark::DoNotOptimize(report);
    }
}
BENCHMARK(BM_DetectAgainst1000Profiles)->Unit(benchmark::kMillisecond);

void BM_ResolveAgainst1000Profiles(benchmark::State& state) {
    static Catalogue1000 files;
    const auto catalogue = load_profiles(files.dir.string());
    StoredFirmwareSource firmware(thinkpad_table());
    const auto identity = identify_machine(firmware);
    for (auto _ : state) benchmark::DoNotOptimize(resolve_machine(*catalogue, *identity));
}
BENCHMARK(BM_ResolveAgainst1000Profiles)->Unit(benchmark::kMicrosecond);

void BM_RenderReport(benchmark::State& state) {
    StoredFirmwareSource firmware(thinkpad_table());
    const auto identity = identify_machine(firmware);
    for (auto _ : state)
        benchmark::DoNotOptimize(render_detection_report("linux-sysfs", *identity, {ResolutionKind::DynamicProbe}, 1000));
}
BENCHMARK(BM_RenderReport)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vantrel
