#pragma once
// A FirmwareSource that hands out a table (or an error) given in advance: for tests, benchmarks
// and the fuzzer, so identification runs without firmware.

#include <utility>

#include "hal/src/firmware_source.hpp"

namespace vantrel {

class StoredFirmwareSource final : public FirmwareSource {
public:
    explicit StoredFirmwareSource(std::vector<std::uint8_t> table) : result_(std::move(table)) {}
    explicit StoredFirmwareSource(HalError error) : result_(std::unexpected(std::move(error))) {}

    // Each call returns its own copy, as a real source does.
    [[nodiscard]] std::expected<std::vector<std::uint8_t>, HalError> read_smbios_table() override { return result_; }

private:
    std::expected<std::vector<std::uint8_t>, HalError> result_;
};

}  // namespace vantrel
