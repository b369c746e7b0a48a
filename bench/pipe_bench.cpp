// Cost of judging one pipe request and building its reply, with the backlight replaced by an
// immediate double: the server's own share of a request (the real backlight runs PowerShell).
#include <benchmark/benchmark.h>

#include <string>

#include "src/service/pipe_protocol.hpp"

namespace {

using namespace vantrel;

const BacklightOperations IMMEDIATE{
    .read = [] { return std::expected<KeyboardState, HalError>(KeyboardState{true, BacklightSource::Hid, 1, 2}); },
    .write = [](std::uint8_t level) {
        return std::expected<KeyboardState, HalError>(KeyboardState{true, BacklightSource::Hid, level, 2});
    },
};

void run(benchmark::State& state, const std::string& request) {
    for (auto _ : state) benchmark::DoNotOptimize(handle_request(request, IMMEDIATE));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * request.size()));
}

void BM_read_request(benchmark::State& state) { run(state, "{\"op\":\"keyboard_read\"}\n"); }
void BM_write_request(benchmark::State& state) { run(state, "{\"op\":\"keyboard_write\",\"level\":1}\n"); }
void BM_unreadable_request(benchmark::State& state) { run(state, "{\"op\":\"keyboard_read\"}{}"); }
// The largest request a client can make count: 4096 bytes, all of them parsed.
void BM_full_buffer_request(benchmark::State& state) {
    std::string request = "{\"op\":\"keyboard_read\",\"pad\":\"";
    request.append(PIPE_BUFFER_SIZE - request.size() - 2, 'x');
    run(state, request + "\"}");
}

}  // namespace

BENCHMARK(BM_read_request);
BENCHMARK(BM_write_request);
BENCHMARK(BM_unreadable_request);
BENCHMARK(BM_full_buffer_request);
