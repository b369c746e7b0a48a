#include "hal/src/firmware_rsmb.hpp"

namespace vantrel {
namespace {

constexpr std::size_t RSMB_HEADER_LENGTH = 8;  // calling method, SMBIOS version (2), DMI revision, length
constexpr std::size_t RSMB_LENGTH_OFFSET = 4;

}  // namespace

std::expected<std::vector<std::uint8_t>, HalError> RsmbFirmwareSource::read_smbios_table() {
    const std::uint32_t needed = get_table_(RSMB_PROVIDER, 0, nullptr, 0);
    if (needed == 0) return std::unexpected(HalError::unavailable("table RSMB absente"));

    std::vector<std::uint8_t> buffer(needed, 0);
    const std::uint32_t returned = get_table_(RSMB_PROVIDER, 0, buffer.data(), needed);
    // More than the buffer means the table grew between the two calls: what is in the buffer is
    // a truncated copy, not the table.
    if (returned == 0 || returned > needed)
        return std::unexpected(HalError::access_denied("lecture de la table RSMB refusée"));

    const std::size_t valid = returned;
    if (valid < RSMB_HEADER_LENGTH) return std::unexpected(HalError::invalid_data("en-tête RSMB trop court"));
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) length |= std::uint32_t{buffer[RSMB_LENGTH_OFFSET + i]} << (8 * i);
    // Compared as valid - 8 >= length so that a length near 2^32 cannot wrap the sum.
    if (length > valid - RSMB_HEADER_LENGTH)
        return std::unexpected(HalError::invalid_data("longueur RSMB incohérente"));

    const auto begin = buffer.begin() + RSMB_HEADER_LENGTH;
    return std::vector<std::uint8_t>(begin, begin + length);
}

}  // namespace vantrel
