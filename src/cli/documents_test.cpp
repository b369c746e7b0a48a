#include "src/cli/documents.hpp"

#include <gtest/gtest.h>

#include "tests/support/firmware_stored.hpp"
#include "tests/support/table_builder.hpp"

namespace vantrel {
namespace {

const std::string NOTICE_TEXT(NOTICE);

// The identity the product reads from a table holding `machine`, so that the labels in the
// documents below are the ones identification gives, not copies of them.
MachineIdentity identity_of(const smbios_fixture::MachineStrings& machine) {
    StoredFirmwareSource source(smbios_fixture::machine_table(machine));
    auto identity = identify_machine(source);
    EXPECT_TRUE(identity) << identity.error().display();
    return identity.value_or(MachineIdentity{});
}

MachineIdentity full_identity() {
    return identity_of({.bios_vendor = "LENOVO",
                        .bios_version = "1.23",
                        .bios_release_date = "01/02/2024",
                        .system_manufacturer = "LENOVO",
                        .system_product_name = "20ABCTO1WW",
                        .system_version = "ThinkPad Exemple 14 Gen 2"});
}

MachineProfile named(std::string id, std::string display_name, ProfileScope scope, std::size_t capabilities) {
    MachineProfile p{1, std::move(id), std::move(display_name), scope, {}, {}};
    for (std::size_t i = 0; i < capabilities; ++i)
        p.capabilities.push_back(Capability{"c" + std::to_string(i), "l", PlatformProfile{}, Confidence::Assumed,
                                            {"s"}, std::nullopt, std::nullopt, std::nullopt});
    return p;
}

TEST(Notice, IsOneParagraphOpeningWithTheProductName) {
    EXPECT_TRUE(NOTICE_TEXT.starts_with("Vantrel "));
    EXPECT_EQ(NOTICE_TEXT.find('\n'), std::string::npos);
    const auto unofficial = NOTICE_TEXT.find("NON OFFICIEL");
    const auto lenovo = NOTICE_TEXT.find("par Lenovo");
    const auto marks = NOTICE_TEXT.find("marques de Lenovo");
    const auto warranty = NOTICE_TEXT.find("garantie");
    ASSERT_NE(unofficial, std::string::npos);
    ASSERT_NE(warranty, std::string::npos);
    EXPECT_LT(unofficial, lenovo);
    EXPECT_LT(lenovo, marks);
    EXPECT_LT(marks, warranty);
}

TEST(DetectionReport, FullReportBytes) {
    const MachineProfile profile = named("exemple-14-gen2", "Exemple 14 Gen 2", ProfileScope::Model, 0);
    const auto text = render_detection_report("windows-native", full_identity(),
                                              Resolution{ResolutionKind::Exact, &profile}, 3);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "{\n"
                     "  \"notice\": \"" + NOTICE_TEXT + "\",\n"
                     "  \"backend\": \"windows-native\",\n"
                     "  \"manufacturer\": \"LENOVO\",\n"
                     "  \"mtm\": \"20AB\",\n"
                     "  \"display_name\": \"ThinkPad Exemple 14 Gen 2\",\n"
                     "  \"bios_vendor\": \"LENOVO\",\n"
                     "  \"bios_version\": \"1.23\",\n"
                     "  \"bios_release_date\": \"01/02/2024\",\n"
                     "  \"resolution\": \"exact\",\n"
                     "  \"profile_id\": \"exemple-14-gen2\",\n"
                     "  \"profiles_loaded\": 3,\n"
                     "  \"sources\": {\n"
                     "    \"manufacturer\": \"SMBIOS type 1 (System) : Manufacturer\",\n"
                     "    \"mtm\": \"SMBIOS type 1 (System) : Product Name\",\n"
                     "    \"display_name\": \"SMBIOS type 1 (System) : Version\",\n"
                     "    \"bios_vendor\": \"SMBIOS type 0 (BIOS) : Vendor\",\n"
                     "    \"bios_version\": \"SMBIOS type 0 (BIOS) : Version\",\n"
                     "    \"bios_release_date\": \"SMBIOS type 0 (BIOS) : Release Date\"\n"
                     "  }\n"
                     "}");
}

TEST(DetectionReport, AbsentValuesAndTheirLabelsAreNullAndProfileIdStaysInPlace) {
    const MachineIdentity id = identity_of({.system_manufacturer = "Dell Inc."});
    const auto text = render_detection_report("linux-sysfs", id, Resolution{ResolutionKind::DynamicProbe}, 0);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "{\n"
                     "  \"notice\": \"" + NOTICE_TEXT + "\",\n"
                     "  \"backend\": \"linux-sysfs\",\n"
                     "  \"manufacturer\": \"Dell Inc.\",\n"
                     "  \"mtm\": null,\n"
                     "  \"display_name\": null,\n"
                     "  \"bios_vendor\": null,\n"
                     "  \"bios_version\": null,\n"
                     "  \"bios_release_date\": null,\n"
                     "  \"resolution\": \"dynamic_probe\",\n"
                     "  \"profile_id\": null,\n"
                     "  \"profiles_loaded\": 0,\n"
                     "  \"sources\": {\n"
                     "    \"manufacturer\": \"SMBIOS type 1 (System) : Manufacturer\",\n"
                     "    \"mtm\": null,\n"
                     "    \"display_name\": null,\n"
                     "    \"bios_vendor\": null,\n"
                     "    \"bios_version\": null,\n"
                     "    \"bios_release_date\": null\n"
                     "  }\n"
                     "}");
}

TEST(DetectionReport, EscapesOnlyWhatJsonRequires) {
    const MachineIdentity id = identity_of({.system_version = "Portable \"É\\tendu\" 14\t\x1f/"});
    const auto text = render_detection_report("windows-native", id, Resolution{ResolutionKind::Unsupported}, 7);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("  \"display_name\": \"Portable \\\"\xC3\x89\\\\tendu\\\" 14\\t\\u001f/\",\n"),
              std::string::npos)
        << *text;
    EXPECT_NE(text->find("  \"resolution\": \"unsupported\",\n  \"profile_id\": null,\n  \"profiles_loaded\": 7,\n"),
              std::string::npos);
}

TEST(DetectionReport, InvalidUtf8IsARenderingFailureNotACrash) {
    MachineIdentity id;
    id.display_name = "\xFF";
    EXPECT_FALSE(render_detection_report("windows-native", id, Resolution{ResolutionKind::Unsupported}, 0));
}

TEST(ProfileListing, EmptyCatalogueGivesAnEmptyArray) {
    const auto text = render_profile_listing({});
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "{\n  \"notice\": \"" + NOTICE_TEXT + "\",\n  \"profiles\": []\n}");
}

TEST(ProfileListing, SummarisesEachProfileInCatalogueOrder) {
    const auto text = render_profile_listing({named("b-modele", "ThinkPad Exemple 14 Gen 2", ProfileScope::Model, 4),
                                              named("a-famille", "ThinkPad Exemple 14", ProfileScope::Family, 0)});
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "{\n"
                     "  \"notice\": \"" + NOTICE_TEXT + "\",\n"
                     "  \"profiles\": [\n"
                     "    {\n"
                     "      \"id\": \"b-modele\",\n"
                     "      \"display_name\": \"ThinkPad Exemple 14 Gen 2\",\n"
                     "      \"scope\": \"model\",\n"
                     "      \"capabilities\": 4\n"
                     "    },\n"
                     "    {\n"
                     "      \"id\": \"a-famille\",\n"
                     "      \"display_name\": \"ThinkPad Exemple 14\",\n"
                     "      \"scope\": \"family\",\n"
                     "      \"capabilities\": 0\n"
                     "    }\n"
                     "  ]\n"
                     "}");
}

TEST(KeyboardState, BytesForEachWayOfAnswering) {
    const std::pair<BacklightAnswer, std::string> rows[] = {
        {{{true, BacklightSource::ThinkpadPm, 1, 2}, AnsweredBy::Service},
         "  \"answered_by\": \"service\",\n  \"source\": \"thinkpad-pm\",\n  \"known\": true,\n"
         "  \"level\": 1,\n  \"max_level\": 2\n"},
        {{{false, BacklightSource::LenovoWmi, 0, 1}, AnsweredBy::Script},
         "  \"answered_by\": \"script\",\n  \"source\": \"lenovo-wmi\",\n  \"known\": false,\n"
         "  \"level\": 0,\n  \"max_level\": 1\n"},
    };
    for (const auto& [answer, members] : rows) {
        EXPECT_EQ(render_keyboard_state(answer), "{\n  \"notice\": \"" + NOTICE_TEXT + "\",\n" + members + "}");
    }
}

}  // namespace
}  // namespace vantrel
