#include <windows.h>

#include "hal/src/firmware_rsmb.hpp"

namespace vantrel {

std::unique_ptr<FirmwareSource> platform_firmware_source() {
    return std::make_unique<RsmbFirmwareSource>(
        [](std::uint32_t provider, std::uint32_t table_id, std::uint8_t* buffer, std::uint32_t size) -> std::uint32_t {
            return GetSystemFirmwareTable(provider, table_id, buffer, size);
        });
}

}  // namespace vantrel
