#pragma once
// The native build's firmware source: Linux publishes the raw SMBIOS structure table, without the
// header that Windows puts in front of it, in one sysfs file readable by root only.

#include <string>
#include <utility>

#include "hal/src/firmware_source.hpp"

namespace vantrel {

inline constexpr std::string_view SYSFS_DMI_TABLE = "/sys/firmware/dmi/tables/DMI";

class SysfsFirmwareSource final : public FirmwareSource {
public:
    explicit SysfsFirmwareSource(std::string path = std::string(SYSFS_DMI_TABLE)) : path_(std::move(path)) {}

    // Missing file: Unavailable; permission refused: AccessDenied; any other failure: Unavailable
    // with the system's description.
    [[nodiscard]] std::expected<std::vector<std::uint8_t>, HalError> read_smbios_table() override;

private:
    std::string path_;
};

// The error for a failed open or read of `path` with the given errno value.
[[nodiscard]] HalError sysfs_read_error(int error_number, std::string_view path);

}  // namespace vantrel
