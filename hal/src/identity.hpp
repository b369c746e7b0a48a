#pragma once
// The machine's identity as read from its SMBIOS table: model-level values only, each with the
// label of the SMBIOS field it came from.

#include <expected>
#include <optional>
#include <string>

#include "firmware_source.hpp"
#include "hal_error.hpp"

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

}  // namespace vantrel
