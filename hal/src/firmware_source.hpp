#pragma once
// Where the raw SMBIOS structure table comes from. Identification receives one of these and never
// learns whether the bytes came from Windows, from Linux's sysfs or from a test.

#include <cstdint>
#include <expected>
#include <memory>
#include <string_view>
#include <vector>

#include "hal/src/hal_error.hpp"

namespace vantrel {

class FirmwareSource {
public:
    virtual ~FirmwareSource() = default;
    // The structure table (without any header the platform puts in front of it).
    [[nodiscard]] virtual std::expected<std::vector<std::uint8_t>, HalError> read_smbios_table() = 0;
};

// The source of the platform this program was built for: Windows' firmware-table service, or
// Linux's sysfs copy of the table in the native build.
[[nodiscard]] std::unique_ptr<FirmwareSource> platform_firmware_source();

// Names the source platform_firmware_source() returns, for reports and diagnostics.
#ifdef _WIN32
inline constexpr std::string_view PLATFORM_BACKEND = "windows-native";
#else
inline constexpr std::string_view PLATFORM_BACKEND = "linux-sysfs";
#endif

}  // namespace vantrel
