// Writes the fuzzer's starting corpus: firmware tables of a few real-looking machines, Wine's
// table, and the malformed framings the unit tests check, each also wrapped in the Windows header.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/table_builder.hpp"

using namespace vantrel::smbios_fixture;

namespace {

std::vector<std::pair<std::string, Bytes>> tables() {
    std::vector<std::pair<std::string, Bytes>> out;
    out.emplace_back("thinkpad", machine_table(THINKPAD_X1_CARBON_GEN9));
    out.emplace_back("placeholders", machine_table({.bios_vendor = "American Megatrends Inc.",
                                                    .system_manufacturer = "To Be Filled By O.E.M.",
                                                    .system_product_name = "System Product Name",
                                                    .system_version = "System Version",
                                                    .system_family = "Default string",
                                                    .baseboard_product = "PRIME B450M-A"}));
    out.emplace_back("utf8", machine_table({.system_manufacturer = " Soci\xC3\xA9t\xC3\xA9\xC2\xA0",
                                            .system_product_name = "2\xC3\x96" "AB",
                                            .system_version = "Caf\xE9 \xE2\x82",
                                            .baseboard_product = "\xE3\x80\x80"}));
    {
        TableBuilder t;
        t.structure(4, Bytes(0x26, 0), {"Intel(R) Core(TM)"});
        t.structure(17, Bytes(0x24, 0), {"DIMM A", "BANK 0"});
        add_machine(t, {.system_manufacturer = "Dell Inc.", .system_product_name = "Latitude 7420"});
        t.structure(1, system_area(1, 2, 0, 0), {"second", "system"});
        t.end_of_table();
        t.header(1, 2);
        out.emplace_back("many_types", t.bytes());
    }
    out.emplace_back("leading_nul", TableBuilder().structure_with_string_set(1, system_area(1, 2, 0, 0), {0, 'a', 'b', 'c', 0, 0}).bytes());
    out.emplace_back("short_length", TableBuilder().header(1, 2).raw({0, 0}).bytes());
    out.emplace_back("unterminated", TableBuilder().structure_with_string_set(1, {1, 0, 0, 0}, {'H', 'P', 0}).bytes());
    out.emplace_back("short_type1", TableBuilder().structure(1, Bytes(0x19 - 4, 1), {"Acer"}).end_of_table().bytes());
    out.emplace_back("empty", Bytes{});
    return out;
}

bool write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: smbios_corpus DOSSIER\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    for (const auto& [name, table] : tables()) {
        if (!write(dir / (name + ".smbios"), table) || !write(dir / (name + ".rsmb"), rsmb_buffer(table))) {
            std::fprintf(stderr, "écriture impossible dans %s\n", dir.string().c_str());
            return 1;
        }
    }
    return 0;
}
