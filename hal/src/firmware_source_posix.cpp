#include "hal/src/firmware_sysfs_posix.hpp"

namespace vantrel {

std::unique_ptr<FirmwareSource> platform_firmware_source() { return std::make_unique<SysfsFirmwareSource>(); }

}  // namespace vantrel
