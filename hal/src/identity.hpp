#pragma once
// The machine's identity as read from its SMBIOS table: model-level values only, each with the
// label of the SMBIOS field it came from.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "hal/src/firmware_source.hpp"
#include "hal/src/hal_error.hpp"
#include "hal/src/smbios/smbios.hpp"

namespace vantrel {

// One label per identity value, present exactly when the value is.
struct SourceLabels {
    std::optional<std::string> manufacturer;
    std::optional<std::string> mtm;
    std::optional<std::string> display_name;
    std::optional<std::string> bios_vendor;
    std::optional<std::string> bios_version;
    std::optional<std::string> bios_release_date;

    friend bool operator==(const SourceLabels&, const SourceLabels&) = default;
};

struct MachineIdentity {
    std::optional<std::string> manufacturer;
    std::optional<std::string> mtm;  // four characters, digits and upper-case ASCII, first a digit
    std::optional<std::string> display_name;
    std::optional<std::string> bios_vendor;
    std::optional<std::string> bios_version;
    std::optional<std::string> bios_release_date;
    SourceLabels sources;

    friend bool operator==(const MachineIdentity&, const MachineIdentity&) = default;
};

// Reads the table from the source, walks it and assembles the identity; the source's or the
// walker's error is passed on unchanged.
[[nodiscard]] std::expected<MachineIdentity, HalError> identify_machine(FirmwareSource& source);

// The assembly step of identify_machine: cannot fail, underivable values are absent.
[[nodiscard]] MachineIdentity identity_from_fields(const SmbiosFields& fields);

// Trimmed text, or absent when empty or one of the placeholders firmware writes for "no value"
// (whole text, ASCII letters folded).
[[nodiscard]] std::optional<std::string> clean_field(const std::optional<std::string>& text);

// The four-character machine type that opens a product name such as 20ABCTO1WW (a digit, then
// three digits or ASCII letters), upper-cased; absent otherwise.
[[nodiscard]] std::optional<std::string> machine_type_from_product(std::string_view product);

}  // namespace vantrel
