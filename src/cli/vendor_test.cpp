#include "src/cli/vendor.hpp"

#include <gtest/gtest.h>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

struct VendorCase {
    const char* name;
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
        VendorCase{"LenovoThinkPad", "LENOVO", "ThinkPad Exemple 14 Gen 2", true, false},
        VendorCase{"LenovoAndThinkPadInAnyCase", "lenovo", "THINKPAD X1", true, false},
        VendorCase{"ThinkPadInsideAWord", "Lenovo", "MyThinkPadX", true, false},
        VendorCase{"LenovoOtherModel", "Lenovo", "Portable Exemple 5", false, false},
        VendorCase{"ThinkPadSpelledApart", "Lenovo", "Think Pad", false, false},
        VendorCase{"LenovoWithoutModelName", "Lenovo", std::nullopt, false, false},
        VendorCase{"LenovoWithinALongerManufacturer", "Lenovo Group Limited", "ThinkPad T14", false, false},
        // Seven bytes: not "lenovo".
        VendorCase{"LenovoFollowedByNoBreakSpace", "Lenovo\xC2\xA0", "ThinkPad T14", false, false},
        VendorCase{"ThinkPadWithoutManufacturer", std::nullopt, "ThinkPad T14", false, false},
        VendorCase{"NothingKnown", std::nullopt, std::nullopt, false, false},
        // Known vendors, by a word anywhere in the folded manufacturer.
        VendorCase{"KnownAsus", "ASUSTeK COMPUTER INC.", std::nullopt, false, true},
        VendorCase{"KnownHpWithThinkPadName", "HP", "ThinkPad", false, true},
        VendorCase{"KnownHewlettPackard", "Hewlett-Packard", std::nullopt, false, true},
        VendorCase{"KnownDell", "Dell Inc.", std::nullopt, false, true},
        VendorCase{"KnownMicroStar", "Micro-Star International Co., Ltd.", std::nullopt, false, true},
        VendorCase{"KnownLg", "LG Electronics", std::nullopt, false, true},
        VendorCase{"KnownFramework", "Framework", std::nullopt, false, true},
        VendorCase{"KnownAlienware", "Alienware", std::nullopt, false, true},
        VendorCase{"KnownSamsung", "SAMSUNG ELECTRONICS CO., LTD.", std::nullopt, false, true},
        VendorCase{"KnownMicrosoft", "Microsoft Corporation", std::nullopt, false, true},
        VendorCase{"KnownToshiba", "TOSHIBA", std::nullopt, false, true},
        VendorCase{"KnownFujitsu", "FUJITSU CLIENT COMPUTING LIMITED", std::nullopt, false, true},
        VendorCase{"KnownPanasonic", "Panasonic Corporation", std::nullopt, false, true},
        VendorCase{"KnownHuawei", "HUAWEI", std::nullopt, false, true},
        VendorCase{"KnownGigabyte", "GIGABYTE", std::nullopt, false, true},
        VendorCase{"KnownRazer", "Razer", std::nullopt, false, true},
        VendorCase{"KnownAcer", "Acer", std::nullopt, false, true},
        // Short words inside longer ones count too.
        VendorCase{"HpInsideAshpool", "Ashpool Systems", std::nullopt, false, true},
        VendorCase{"MsiInsideKemsi", "Kemsi", std::nullopt, false, true},
        VendorCase{"AcerInsidePeacer", "Peacer Ltd", std::nullopt, false, true},
        VendorCase{"DellInsideGoodell", "Goodell Corp", std::nullopt, false, true},
        // Not laptop vendors, or not spelled in ASCII.
        VendorCase{"UnknownApple", "Apple Inc.", std::nullopt, false, false},
        VendorCase{"UnknownSystem76", "System76", std::nullopt, false, false},
        VendorCase{"UnknownHpSpelledApart", "H P", std::nullopt, false, false},
        VendorCase{"UnknownFullwidthHp", "\xEF\xBC\xA8\xEF\xBC\xB0", std::nullopt, false, false}),  // fullwidth HP
    test::RowName{});

TEST(VendorClassification, ReadsTheValuesIdentificationCleaned) {
    SmbiosFields fields;
    fields.system_manufacturer = "lenovo ";  // the walker trims too, but the identity is what counts
    fields.system_version = "ThinkPad X13";
    EXPECT_TRUE(is_lenovo_thinkpad(identity_from_fields(fields)));
}

}  // namespace
}  // namespace vantrel
