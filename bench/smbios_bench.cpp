// The SMBIOS walk over a table of firmware size. Real tables are a few KiB; 64 KiB is the largest
// a 2.x entry point can describe, so this is the worst case the walker meets.

#include <benchmark/benchmark.h>

#include <string>

#include "tests/support/firmware_stored.hpp"
#include "hal/src/identity.hpp"
#include "hal/src/smbios/smbios.hpp"
#include "tests/support/table_builder.hpp"

namespace {

using namespace vantrel;
using namespace vantrel::smbios_fixture;

constexpr std::size_t TABLE_SIZE = 64 * 1024;

// The machine's own structures first, then memory-device structures (type 17, with the four
// strings real ones carry) up to 64 KiB, then the end of table.
Bytes large_table() {
    TableBuilder t;
    add_machine(t, THINKPAD_X1_CARBON_GEN9);
    const TableBuilder memory = TableBuilder().structure(17, Bytes(0x28 - 4, 0x11),
                                                         {"ChannelA-DIMM0", "BANK 0", "Samsung", "M471A1K43DB1-CWE"});
    const std::size_t end_size = TableBuilder().end_of_table().size();
    while (t.size() + memory.size() + end_size <= TABLE_SIZE) t.raw(memory.bytes());
    // An OEM structure without strings fills the rest, so the table is exactly 64 KiB.
    const std::size_t rest = TABLE_SIZE - t.size() - end_size;
    if (rest >= 6) t.structure_with_string_set(0x80, Bytes(rest - 6, 0x5A), {0, 0});
    t.end_of_table();
    return t.bytes();
}

void walk_64k_table(benchmark::State& state) {
    const Bytes table = large_table();
    for (auto _ : state) {
        auto fields = parse_smbios(table);
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.size()));
    state.counters["table_bytes"] = static_cast<double>(table.size());
}
BENCHMARK(walk_64k_table);

// The whole of identify_machine: the source's copy of the table, the walk and the assembly.
void identify_64k_table(benchmark::State& state) {
    const Bytes table = large_table();
    StoredFirmwareSource source(table);
    for (auto _ : state) {
        auto identity = identify_machine(source);
        benchmark::DoNotOptimize(identity);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * table.size()));
}
BENCHMARK(identify_64k_table);

// A table of typical size (types 0, 1, 2, 127 only), for the per-call cost.
void identify_typical_table(benchmark::State& state) {
    StoredFirmwareSource source(machine_table({.system_manufacturer = "Dell Inc.", .system_product_name = "Latitude 7420"}));
    for (auto _ : state) {
        auto identity = identify_machine(source);
        benchmark::DoNotOptimize(identity);
    }
}
BENCHMARK(identify_typical_table);

}  // namespace
