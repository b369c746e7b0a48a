// Fuzzes the whole road from firmware bytes to vendor classification: the input as a structure
// table, and the same input as the buffer Windows' firmware-table service returns.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "hal/src/firmware_rsmb.hpp"
#include "hal/src/identity.hpp"
#include "src/util/unicode.hpp"
#include "src/cli/vendor.hpp"

namespace {

using namespace vantrel;

void check(bool condition) {
    if (!condition) std::abort();
}

void check_text(const std::optional<std::string>& text) {
    if (!text) return;
    check(!text->empty() && is_valid_utf8(*text) && trim_white_space(*text).size() == text->size());
}

void check_identity(const SmbiosFields& fields) {
    for (const auto* field : {&fields.bios_vendor, &fields.bios_version, &fields.bios_release_date,
                              &fields.system_manufacturer, &fields.system_product_name, &fields.system_version,
                              &fields.system_family, &fields.baseboard_product})
        check_text(*field);

    const MachineIdentity identity = identity_from_fields(fields);
    check(identity.manufacturer.has_value() == identity.sources.manufacturer.has_value());
    check(identity.mtm.has_value() == identity.sources.mtm.has_value());
    check(identity.display_name.has_value() == identity.sources.display_name.has_value());
    check(identity.bios_vendor.has_value() == identity.sources.bios_vendor.has_value());
    if (identity.mtm) {
        check(identity.mtm->size() == 4 && (*identity.mtm)[0] >= '0' && (*identity.mtm)[0] <= '9');
        // The product name that gave the machine type is never the model name.
        check(identity.sources.display_name != identity.sources.mtm);
    }
    check_text(identity.manufacturer);
    check_text(identity.display_name);
    // A ThinkPad is never also a "known vendor": Lenovo is not among the vendor words.
    check(!(is_lenovo_thinkpad(identity) && is_known_vendor(identity)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    if (const auto fields = parse_smbios(input)) check_identity(*fields);

    RsmbFirmwareSource windows([&](std::uint32_t, std::uint32_t, std::uint8_t* buffer, std::uint32_t capacity) {
        const auto answer = static_cast<std::uint32_t>(size);
        if (buffer != nullptr) std::copy_n(data, std::min<std::size_t>(capacity, size), buffer);
        return answer;
    });
    if (const auto table = windows.read_smbios_table()) {
        check(table->size() + 8 <= size);
        if (const auto fields = parse_smbios(*table)) check_identity(*fields);
    }
    return 0;
}
