#include "hal/src/identity.hpp"

#include <algorithm>
#include <array>

#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

// Texts firmware writes into fields it leaves unset, lower case.
constexpr std::array<std::string_view, 9> PLACEHOLDERS{
    "n/a",
    "none",
    "undefined",
    "not specified",
    "system version",
    "not applicable",
    "default string",
    "system product name",
    "to be filled by o.e.m.",
};

constexpr std::string_view LABEL_MANUFACTURER = "SMBIOS type 1 (System) : Manufacturer";
constexpr std::string_view LABEL_PRODUCT_NAME = "SMBIOS type 1 (System) : Product Name";
constexpr std::string_view LABEL_VERSION = "SMBIOS type 1 (System) : Version";
constexpr std::string_view LABEL_FAMILY = "SMBIOS type 1 (System) : Family";
constexpr std::string_view LABEL_BASEBOARD_PRODUCT = "SMBIOS type 2 (Baseboard) : Product";
constexpr std::string_view LABEL_BIOS_VENDOR = "SMBIOS type 0 (BIOS) : Vendor";
constexpr std::string_view LABEL_BIOS_VERSION = "SMBIOS type 0 (BIOS) : Version";
constexpr std::string_view LABEL_BIOS_RELEASE_DATE = "SMBIOS type 0 (BIOS) : Release Date";

constexpr std::size_t MACHINE_TYPE_LENGTH = 4;

std::optional<std::string> label_if(const std::optional<std::string>& value, std::string_view label) {
    if (!value) return std::nullopt;
    return std::string(label);
}

}  // namespace

std::optional<std::string> clean_field(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    const std::string_view trimmed = trim_white_space(*text);
    if (trimmed.empty()) return std::nullopt;
    const std::string folded = ascii_lower(trimmed);
    if (std::ranges::find(PLACEHOLDERS, folded) != PLACEHOLDERS.end()) return std::nullopt;
    return std::string(trimmed);
}

std::optional<std::string> machine_type_from_product(std::string_view product) {
    const std::string_view trimmed = trim_white_space(product);
    // A scalar value outside ASCII starts with a byte of 0x80 or more, so checking the first four
    // bytes is checking the first four scalar values.
    if (trimmed.size() < MACHINE_TYPE_LENGTH) return std::nullopt;
    std::string type(trimmed.substr(0, MACHINE_TYPE_LENGTH));
    if (!is_ascii_digit(type[0]) || !std::ranges::all_of(type, is_ascii_alnum)) return std::nullopt;
    std::ranges::transform(type, type.begin(), [](char c) { return ascii_upper(c); });
    return type;
}

MachineIdentity identity_from_fields(const SmbiosFields& fields) {
    MachineIdentity identity;

    const auto product = clean_field(fields.system_product_name);
    if (product) identity.mtm = machine_type_from_product(*product);
    const auto version = clean_field(fields.system_version);
    const auto family = clean_field(fields.system_family);
    // A product name that gave the machine type is a part number, not a model name.
    const auto candidate_product = identity.mtm ? std::nullopt : product;
    const auto baseboard = clean_field(fields.baseboard_product);

    // First present candidate wins.
    const std::array<std::pair<const std::optional<std::string>*, std::string_view>, 4> display_candidates{{
        {&version, LABEL_VERSION},
        {&family, LABEL_FAMILY},
        {&candidate_product, LABEL_PRODUCT_NAME},
        {&baseboard, LABEL_BASEBOARD_PRODUCT},
    }};
    for (const auto& [candidate, label] : display_candidates) {
        if (!*candidate) continue;
        identity.display_name = **candidate;
        identity.sources.display_name = std::string(label);
        break;
    }

    identity.manufacturer = clean_field(fields.system_manufacturer);
    // BIOS texts are reported as the firmware wrote them, placeholders included.
    identity.bios_vendor = fields.bios_vendor;
    identity.bios_version = fields.bios_version;
    identity.bios_release_date = fields.bios_release_date;

    identity.sources.manufacturer = label_if(identity.manufacturer, LABEL_MANUFACTURER);
    identity.sources.mtm = label_if(identity.mtm, LABEL_PRODUCT_NAME);
    identity.sources.bios_vendor = label_if(identity.bios_vendor, LABEL_BIOS_VENDOR);
    identity.sources.bios_version = label_if(identity.bios_version, LABEL_BIOS_VERSION);
    identity.sources.bios_release_date = label_if(identity.bios_release_date, LABEL_BIOS_RELEASE_DATE);
    return identity;
}

std::expected<MachineIdentity, HalError> identify_machine(FirmwareSource& source) {
    const auto table = source.read_smbios_table();
    if (!table) return std::unexpected(table.error());
    const auto fields = parse_smbios(*table);
    if (!fields) return std::unexpected(fields.error());
    return identity_from_fields(*fields);
}

}  // namespace vantrel
