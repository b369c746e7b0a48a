// The platform's firmware source on the table of the machine it runs on. The expected values come
// from tests/firmware_e2e.py, which runs this case inside a mount namespace whose /sys it filled
// itself; without them the case is skipped. Values travel hex-encoded so that any bytes survive
// Wine's conversion of the environment.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "hal/src/firmware_source.hpp"
#include "hal/src/identity.hpp"
#include "hal/src/smbios/smbios.hpp"
#include "tests/support/test_printers.hpp"

namespace vantrel {
namespace {

std::optional<std::string> from_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (char c : hex.substr(i, 2)) {
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return std::nullopt;
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

// "name=hex,name=hex": the fields expected present; every other field is expected absent.
std::optional<SmbiosFields> expected_fields(std::string_view expected_text) {
    const std::map<std::string_view, std::optional<std::string> SmbiosFields::*> names{
        {"bios_vendor", &SmbiosFields::bios_vendor},
        {"bios_version", &SmbiosFields::bios_version},
        {"bios_release_date", &SmbiosFields::bios_release_date},
        {"system_manufacturer", &SmbiosFields::system_manufacturer},
        {"system_product_name", &SmbiosFields::system_product_name},
        {"system_version", &SmbiosFields::system_version},
        {"system_family", &SmbiosFields::system_family},
        {"baseboard_product", &SmbiosFields::baseboard_product},
    };
    SmbiosFields fields;
    while (!expected_text.empty()) {
        const std::string_view item = expected_text.substr(0, expected_text.find(','));
        expected_text.remove_prefix(std::min(expected_text.size(), item.size() + 1));
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        const auto field = names.find(item.substr(0, equals));
        auto value = from_hex(item.substr(equals + 1));
        if (field == names.end() || !value) return std::nullopt;
        fields.*field->second = std::move(value);
    }
    return fields;
}

TEST(LiveFirmwareTable, MatchesWhatTheTestHarnessWrote) {
    const char* expected = std::getenv("VANTREL_EXPECT_SMBIOS");
    const char* expected_error = std::getenv("VANTREL_EXPECT_SMBIOS_ERROR");
    if (expected == nullptr && expected_error == nullptr)
        GTEST_SKIP() << "VANTREL_EXPECT_SMBIOS is not set: tests/firmware_e2e.py runs this case with a table it wrote";

    const auto source = platform_firmware_source();
    if (expected_error != nullptr) {
        // The failure of the source or of the walk, as the detect command would print it.
        const auto display = from_hex(expected_error);
        ASSERT_TRUE(display.has_value()) << "VANTREL_EXPECT_SMBIOS_ERROR is not hex";
        const auto identity = identify_machine(*source);
        ASSERT_FALSE(identity.has_value()) << PLATFORM_BACKEND << " read and walked a table";
        EXPECT_EQ(identity.error().display(), *display);
        return;
    }
    const auto table = source->read_smbios_table();
    const auto fields_expected = expected_fields(expected);
    ASSERT_TRUE(fields_expected.has_value()) << "VANTREL_EXPECT_SMBIOS is not name=hex,...: " << expected;
    ASSERT_TRUE(table.has_value()) << PLATFORM_BACKEND << ": " << table.error().display();
    const auto fields = parse_smbios(*table);
    ASSERT_TRUE(fields.has_value()) << fields.error().display();
    EXPECT_EQ(*fields, *fields_expected);

    // The whole road of the detect command, on the same firmware.
    const auto identity = identify_machine(*source);
    ASSERT_TRUE(identity.has_value()) << identity.error().display();
    EXPECT_EQ(*identity, identity_from_fields(*fields));
}

}  // namespace
}  // namespace vantrel
