#include "hal/vendor.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

struct VendorCase {
    std::optional<std::string> manufacturer;
    std::optional<std::string> display_name;
    bool thinkpad;
    bool known;
};

class VendorClassification : public testing::TestWithParam<VendorCase> {};

TEST_P(VendorClassification, ThinkPadAndKnownVendor) {
    MachineIdentity identity;
    identity.manufacturer = GetParam().manufacturer;
    identity.display_name = GetParam().display_name;
    EXPECT_EQ(is_lenovo_thinkpad(identity), GetParam().thinkpad);
    EXPECT_EQ(is_known_vendor(identity), GetParam().known);
}

INSTANTIATE_TEST_SUITE_P(
    Manufacturers, VendorClassification,
    testing::Values(
        // Lenovo counts only as a ThinkPad: the whole manufacturer, and "thinkpad" in the model name.
        VendorCase{"LENOVO", "ThinkPad Exemple 14 Gen 2", true, false},
        VendorCase{"lenovo", "THINKPAD X1", true, false},
        VendorCase{"Lenovo", "MyThinkPadX", true, false},
        VendorCase{"Lenovo", "Portable Exemple 5", false, false},
        VendorCase{"Lenovo", "Think Pad", false, false},
        VendorCase{"Lenovo", std::nullopt, false, false},
        VendorCase{"Lenovo Group Limited", "ThinkPad T14", false, false},
        VendorCase{"Lenovo\xC2\xA0", "ThinkPad T14", false, false},  // seven bytes: not "lenovo"
        VendorCase{std::nullopt, "ThinkPad T14", false, false},
        VendorCase{std::nullopt, std::nullopt, false, false},
        // Known vendors, by a word anywhere in the folded manufacturer.
        VendorCase{"ASUSTeK COMPUTER INC.", std::nullopt, false, true},
        VendorCase{"HP", "ThinkPad", false, true},
        VendorCase{"Hewlett-Packard", std::nullopt, false, true},
        VendorCase{"Dell Inc.", std::nullopt, false, true},
        VendorCase{"Micro-Star International Co., Ltd.", std::nullopt, false, true},
        VendorCase{"LG Electronics", std::nullopt, false, true},
        VendorCase{"Framework", std::nullopt, false, true},
        VendorCase{"Alienware", std::nullopt, false, true},
        VendorCase{"SAMSUNG ELECTRONICS CO., LTD.", std::nullopt, false, true},
        VendorCase{"Microsoft Corporation", std::nullopt, false, true},
        VendorCase{"TOSHIBA", std::nullopt, false, true},
        VendorCase{"FUJITSU CLIENT COMPUTING LIMITED", std::nullopt, false, true},
        VendorCase{"Panasonic Corporation", std::nullopt, false, true},
        VendorCase{"HUAWEI", std::nullopt, false, true},
        VendorCase{"GIGABYTE", std::nullopt, false, true},
        VendorCase{"Razer", std::nullopt, false, true},
        VendorCase{"Acer", std::nullopt, false, true},
        // Short words inside longer ones count too.
        VendorCase{"Ashpool Systems", std::nullopt, false, true},
        VendorCase{"Kemsi", std::nullopt, false, true},
        VendorCase{"Peacer Ltd", std::nullopt, false, true},
        VendorCase{"Goodell Corp", std::nullopt, false, true},
        // Not laptop vendors, or not spelled in ASCII.
        VendorCase{"Apple Inc.", std::nullopt, false, false},
        VendorCase{"System76", std::nullopt, false, false},
        VendorCase{"H P", std::nullopt, false, false},
        VendorCase{"\xEF\xBC\xA8\xEF\xBC\xB0", std::nullopt, false, false}));  // fullwidth HP

TEST(VendorClassification, ReadsTheValuesIdentificationCleaned) {
    SmbiosFields fields;
    fields.system_manufacturer = "lenovo ";  // the walker trims too, but the identity is what counts
    fields.system_version = "ThinkPad X13";
    EXPECT_TRUE(is_lenovo_thinkpad(identity_from_fields(fields)));
}

}  // namespace
}  // namespace vantrel
