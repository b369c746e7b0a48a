#pragma once
// The Windows firmware source, written against a stand-in for GetSystemFirmwareTable so that its
// checks of the service's answer run (and are tested) on every platform. The Windows build binds
// it to the real call (firmware_source_win32.cpp).

#include <cstdint>
#include <functional>

#include "hal/src/firmware_source.hpp"

namespace vantrel {

// 'RSMB' packed with R in the high byte: the provider of the raw SMBIOS table.
inline constexpr std::uint32_t RSMB_PROVIDER = 0x52534D42;

// Same contract as GetSystemFirmwareTable(provider, table_id, buffer, size): returns the number of
// bytes written, the size needed when `size` is too small (or 0 with no buffer), or 0 on failure.
using FirmwareTableFunction =
    std::function<std::uint32_t(std::uint32_t provider, std::uint32_t table_id, std::uint8_t* buffer, std::uint32_t size)>;

class RsmbFirmwareSource final : public FirmwareSource {
public:
    explicit RsmbFirmwareSource(FirmwareTableFunction get_table) : get_table_(std::move(get_table)) {}

    // Asks for the size, reads into a zero-filled buffer of that size, checks the 8-byte header
    // and returns a copy of the table it announces.
    [[nodiscard]] std::expected<std::vector<std::uint8_t>, HalError> read_smbios_table() override;

private:
    FirmwareTableFunction get_table_;
};

}  // namespace vantrel
