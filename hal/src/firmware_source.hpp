#pragma once
// Where the raw SMBIOS structure table comes from. Identification receives one of these and never
// learns whether the bytes came from Windows, from Linux's sysfs or from a test.

#include <cstdint>
#include <expected>
#include <vector>

#include "hal_error.hpp"

namespace vantrel {

class FirmwareSource {
public:
    virtual ~FirmwareSource() = default;
    // The structure table (without any header the platform puts in front of it).
    [[nodiscard]] virtual std::expected<std::vector<std::uint8_t>, HalError> read_smbios_table() = 0;
};

}  // namespace vantrel
