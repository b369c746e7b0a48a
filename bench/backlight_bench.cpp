// Reading one result record: the script's line (8 keys) and the service's reply line.
#include <benchmark/benchmark.h>

#include <string>

#include "hal/src/backlight.hpp"

namespace {

void BM_InterpretScriptRecord(benchmark::State& state) {
    const std::string line =
        R"({"available":true,"known":true,"level":2,"max_level":2,"source":"framework","applied":true,"verified":true,"reason":""})"
        "\n";
    for (auto _ : state) {
        auto result = vantrel::interpret_backlight_output(line, vantrel::BacklightMode::Write);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_InterpretScriptRecord);

void BM_InterpretNothingFound(benchmark::State& state) {
    const std::string line =
        R"j({"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,"verified":false,"reason":"aucune interface de retroeclairage clavier detectee (ThinkPad PM : retroeclairage non pret)"})j"
        "\n";
    for (auto _ : state) {
        auto result = vantrel::interpret_backlight_output(line, vantrel::BacklightMode::Read);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_InterpretNothingFound);

void BM_InterpretUnreadable(benchmark::State& state) {
    const std::string line = "Missing an argument for parameter 'FrameworkDir'.\r\n";
    for (auto _ : state) {
        auto result = vantrel::interpret_backlight_output(line, vantrel::BacklightMode::Read);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_InterpretUnreadable);

}  // namespace
