#pragma once
// Readable SMBIOS fixtures for tests, benchmarks and the fuzzer's starting corpus: a table is
// assembled structure by structure from its type, the formatted bytes after the 4-byte header
// and its strings, instead of being written as an opaque blob.
//
//   TableBuilder table;
//   table.structure(1, {1, 2, 0, 0}, {"LENOVO", "20ABCTO1WW"}).end_of_table();
//   parse_smbios(table.bytes());

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::smbios_fixture {

using Bytes = std::vector<std::uint8_t>;

class TableBuilder {
public:
    // A structure whose length byte covers the header and `formatted`, followed by `strings`
    // (each NUL-terminated) and the closing NUL; no strings gives the two NULs of an empty set.
    TableBuilder& structure(std::uint8_t type, const Bytes& formatted,
                            std::initializer_list<std::string_view> strings = {}) {
        std::vector<std::string_view> list(strings);
        return structure(type, formatted, list);
    }
    TableBuilder& structure(std::uint8_t type, const Bytes& formatted, const std::vector<std::string_view>& strings) {
        Bytes set;
        for (std::string_view s : strings) {
            set.insert(set.end(), s.begin(), s.end());
            set.push_back(0);
        }
        if (strings.size() == 0) set.push_back(0);
        set.push_back(0);
        return structure_with_string_set(type, formatted, set);
    }

    // A structure followed by exactly `string_set` (for unterminated or oddly split sets).
    TableBuilder& structure_with_string_set(std::uint8_t type, const Bytes& formatted, const Bytes& string_set) {
        header(type, static_cast<std::uint8_t>(4 + formatted.size()));
        append(formatted);
        append(string_set);
        return *this;
    }

    // A header that claims `length` whatever follows (for malformed lengths).
    TableBuilder& header(std::uint8_t type, std::uint8_t length) {
        bytes_.push_back(type);
        bytes_.push_back(length);
        bytes_.push_back(static_cast<std::uint8_t>(next_handle_ & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(next_handle_ >> 8));
        ++next_handle_;
        return *this;
    }

    TableBuilder& raw(const Bytes& bytes) {
        append(bytes);
        return *this;
    }

    // Type 127 with an empty string set, as firmware ends its table.
    TableBuilder& end_of_table() { return structure(127, {}); }

    [[nodiscard]] const Bytes& bytes() const { return bytes_; }
    [[nodiscard]] std::size_t size() const { return bytes_.size(); }

private:
    void append(const Bytes& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

    Bytes bytes_;
    std::uint16_t next_handle_ = 0;
};

// Formatted bytes after the header of a full-length structure (SMBIOS 2.4 or later) with the given
// string numbers at their standard offsets and zeros elsewhere.
inline Bytes bios_area(std::uint8_t vendor, std::uint8_t version, std::uint8_t release_date) {
    Bytes area(0x18 - 4, 0);  // type 0 is 0x18 bytes long since SMBIOS 2.4
    area[0x04 - 4] = vendor;
    area[0x05 - 4] = version;
    area[0x08 - 4] = release_date;
    return area;
}

inline Bytes system_area(std::uint8_t manufacturer, std::uint8_t product, std::uint8_t version, std::uint8_t family) {
    Bytes area(0x1B - 4, 0);  // type 1 reaches Family (0x1A) since SMBIOS 2.4
    area[0x04 - 4] = manufacturer;
    area[0x05 - 4] = product;
    area[0x06 - 4] = version;
    area[0x1A - 4] = family;
    return area;
}

inline Bytes baseboard_area(std::uint8_t manufacturer, std::uint8_t product) {
    Bytes area(0x0F - 4, 0);
    area[0x04 - 4] = manufacturer;
    area[0x05 - 4] = product;
    return area;
}

// The strings of a whole machine; absent ones get string number 0, as firmware (and Wine) write
// unset fields. Meant for designated initializers: {.system_manufacturer = "LENOVO"}.
struct MachineStrings {
    std::optional<std::string> bios_vendor{};
    std::optional<std::string> bios_version{};
    std::optional<std::string> bios_release_date{};
    std::optional<std::string> system_manufacturer{};
    std::optional<std::string> system_product_name{};
    std::optional<std::string> system_version{};
    std::optional<std::string> system_family{};
    std::optional<std::string> baseboard_manufacturer{};
    std::optional<std::string> baseboard_product{};
};

// A ThinkPad X1 Carbon Gen 9 (machine type 20XW) with every string set, as its firmware writes them.
inline const MachineStrings THINKPAD_X1_CARBON_GEN9{.bios_vendor = "LENOVO",
                                                   .bios_version = "N2HET77W (1.60 )",
                                                   .bios_release_date = "02/06/2024",
                                                   .system_manufacturer = "LENOVO",
                                                   .system_product_name = "20XWCTO1WW",
                                                   .system_version = "ThinkPad X1 Carbon Gen 9",
                                                   .system_family = "ThinkPad X1 Carbon Gen 9",
                                                   .baseboard_manufacturer = "LENOVO",
                                                   .baseboard_product = "20XWCTO1WW"};

namespace detail {
// Appends a present string to `strings` and returns its number; 0 for an absent one.
inline std::uint8_t number_of(const std::optional<std::string>& text, std::vector<std::string_view>& strings) {
    if (!text) return 0;
    strings.push_back(*text);
    return static_cast<std::uint8_t>(strings.size());
}
}  // namespace detail

// Appends the BIOS, System and Baseboard structures of `machine` (no end-of-table structure).
inline TableBuilder& add_machine(TableBuilder& table, const MachineStrings& machine) {
    using detail::number_of;
    std::vector<std::string_view> bios;
    const auto bios_vendor = number_of(machine.bios_vendor, bios);
    const auto bios_version = number_of(machine.bios_version, bios);
    const auto bios_date = number_of(machine.bios_release_date, bios);
    table.structure(0, bios_area(bios_vendor, bios_version, bios_date), bios);

    std::vector<std::string_view> system;
    const auto manufacturer = number_of(machine.system_manufacturer, system);
    const auto product = number_of(machine.system_product_name, system);
    const auto version = number_of(machine.system_version, system);
    const auto family = number_of(machine.system_family, system);
    table.structure(1, system_area(manufacturer, product, version, family), system);

    std::vector<std::string_view> board;
    const auto board_manufacturer = number_of(machine.baseboard_manufacturer, board);
    const auto board_product = number_of(machine.baseboard_product, board);
    table.structure(2, baseboard_area(board_manufacturer, board_product), board);
    return table;
}

// A whole table as firmware writes it: BIOS, System, Baseboard, end of table.
inline Bytes machine_table(const MachineStrings& machine) {
    TableBuilder table;
    add_machine(table, machine);
    table.end_of_table();
    return table.bytes();
}

// The buffer that Windows' firmware-table service returns for RSMB: an 8-byte header (calling
// method, SMBIOS major and minor version, DMI revision, table length) and the table.
inline Bytes rsmb_buffer(const Bytes& table, std::uint32_t declared_length, const Bytes& trailing = {}) {
    Bytes buffer{0, 3, 4, 0};
    for (int shift = 0; shift < 32; shift += 8) buffer.push_back(static_cast<std::uint8_t>(declared_length >> shift));
    buffer.insert(buffer.end(), table.begin(), table.end());
    buffer.insert(buffer.end(), trailing.begin(), trailing.end());
    return buffer;
}

inline Bytes rsmb_buffer(const Bytes& table) { return rsmb_buffer(table, static_cast<std::uint32_t>(table.size())); }

}  // namespace vantrel::smbios_fixture
