#pragma once
// The SMBIOS structure walker: checks the framing of every structure up to the end-of-table
// structure and extracts the eight strings identification needs from the first BIOS (type 0),
// System (type 1) and Baseboard (type 2) structures.

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>

#include "hal/src/hal_error.hpp"

namespace vantrel {

// The strings as the firmware wrote them: decoded (invalid UTF-8 replaced by U+FFFD) and trimmed
// of Unicode white space, an empty string counting as absent. No placeholder filtering here.
struct SmbiosFields {
    std::optional<std::string> bios_vendor;
    std::optional<std::string> bios_version;
    std::optional<std::string> bios_release_date;
    std::optional<std::string> system_manufacturer;
    std::optional<std::string> system_product_name;
    std::optional<std::string> system_version;
    std::optional<std::string> system_family;
    std::optional<std::string> baseboard_product;

    friend bool operator==(const SmbiosFields&, const SmbiosFields&) = default;
};

// Walks the structure table (without the 8-byte header that Windows puts in front of it) in one
// forward pass. Fails with InvalidData on a malformed structure; bad string numbers and
// undecodable bytes are not failures. Keeps no reference to `table`.
[[nodiscard]] std::expected<SmbiosFields, HalError> parse_smbios(std::span<const std::uint8_t> table);

}  // namespace vantrel
