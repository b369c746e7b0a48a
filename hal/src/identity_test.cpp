#include "hal/src/identity.hpp"

#include <gtest/gtest.h>

#include "tests/support/firmware_stored.hpp"
#include "tests/support/table_builder.hpp"
#include "tests/support/test_printers.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

const std::string MANUFACTURER = "SMBIOS type 1 (System) : Manufacturer";
const std::string PRODUCT_NAME = "SMBIOS type 1 (System) : Product Name";
const std::string VERSION = "SMBIOS type 1 (System) : Version";
const std::string FAMILY = "SMBIOS type 1 (System) : Family";
const std::string BASEBOARD = "SMBIOS type 2 (Baseboard) : Product";
const std::string BIOS_VENDOR = "SMBIOS type 0 (BIOS) : Vendor";
const std::string BIOS_VERSION = "SMBIOS type 0 (BIOS) : Version";
const std::string BIOS_DATE = "SMBIOS type 0 (BIOS) : Release Date";

// --- clean_field ---------------------------------------------------------------------------------

struct CleanCase {
    const char* name;
    std::optional<std::string> in;
    std::optional<std::string> out;
};

class CleanField : public testing::TestWithParam<CleanCase> {};

TEST_P(CleanField, DropsBlanksAndWholePlaceholdersOnly) { EXPECT_EQ(clean_field(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    Texts, CleanField,
    testing::Values(CleanCase{"Absent", std::nullopt, std::nullopt}, CleanCase{"Empty", "", std::nullopt},
                    CleanCase{"BlanksOnly", " \t\xC2\xA0", std::nullopt},
                    // Each placeholder, in mixed case and with surrounding white space of both kinds.
                    CleanCase{"PlaceholderNA", "N/A", std::nullopt}, CleanCase{"PlaceholderNone", "None", std::nullopt},
                    CleanCase{"PlaceholderUndefined", "UNDEFINED", std::nullopt},
                    CleanCase{"PlaceholderNotSpecified", "Not Specified", std::nullopt},
                    CleanCase{"PlaceholderSystemVersionMixedCase", "sYsTeM vErSiOn", std::nullopt},
                    CleanCase{"PlaceholderNotApplicable", "Not Applicable", std::nullopt},
                    CleanCase{"PlaceholderDefaultStringInSpaces", " Default string ", std::nullopt},
                    CleanCase{"PlaceholderSystemProductName", "System Product Name", std::nullopt},
                    CleanCase{"PlaceholderToBeFilledInUnicodeBlanks", "\xE3\x80\x80To Be Filled By O.E.M.\xC2\xA0",
                              std::nullopt},
                    // Whole text only, and only ASCII letters fold.
                    CleanCase{"PlaceholderThenWordKept", "Not Specified Inc", "Not Specified Inc"},
                    CleanCase{"PlaceholderThenDigitKept", "None2", "None2"},
                    CleanCase{"PlaceholderThenDotKept", "N/A.", "N/A."},
                    CleanCase{"PlaceholderSpelledOtherwiseKept", "To be filled by OEM", "To be filled by OEM"},
                    CleanCase{"FullwidthLetterNotFolded", "\xEF\xBC\xAE/A", "\xEF\xBC\xAE/A"},  // fullwidth N
                    CleanCase{"ValueTrimmed", "  Dell Inc.\n", "Dell Inc."},
                    CleanCase{"ValueKept", "LENOVO", "LENOVO"}),
    test::RowName{});

// --- machine_type_from_product -------------------------------------------------------------------

struct TypeCase {
    const char* name;
    std::string product;
    std::optional<std::string> type;
};

class MachineType : public testing::TestWithParam<TypeCase> {};

TEST_P(MachineType, IsFourAsciiAlphanumericsOpeningWithADigit) {
    EXPECT_EQ(machine_type_from_product(GetParam().product), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Products, MachineType,
    testing::Values(TypeCase{"TypeOfFullProduct", "20ABCTO1WW", "20AB"},
                    TypeCase{"LowerCaseFolded", "21cd0042xy", "21CD"},
                    TypeCase{"FourCharactersOnly", "20ab", "20AB"},
                    TypeCase{"LeadingBlanksSkipped", " \xC2\xA0" "20AB", "20AB"},
                    TypeCase{"AllDigitsThenWord", "9999 extra", "9999"},
                    TypeCase{"ThreeCharacters", "20A", std::nullopt},
                    TypeCase{"ThreeCharactersThenSpace", "20A ", std::nullopt},
                    TypeCase{"Dash", "20-AB", std::nullopt},
                    TypeCase{"OpensWithLetter", "A1B2", std::nullopt},
                    TypeCase{"NonAsciiLetter", "2\xC3\x96" "AB", std::nullopt},  // 2ÖAB: Ö is a letter, not ASCII
                    TypeCase{"NonAsciiDigit", "\xD9\xA2" "0AB", std::nullopt},   // Arabic-Indic two is not an ASCII digit
                    TypeCase{"InnerSpace", "20 AB", std::nullopt},
                    TypeCase{"Empty", "", std::nullopt}),
    test::RowName{});

// --- Assembly --------------------------------------------------------------------------------------

struct AssemblyCase {
    const char* name;
    SmbiosFields fields;
    MachineIdentity identity;
};

class Assembly : public testing::TestWithParam<AssemblyCase> {};

TEST_P(Assembly, ChoosesValuesAndLabels) { EXPECT_EQ(identity_from_fields(GetParam().fields), GetParam().identity); }

SmbiosFields fields_of(std::optional<std::string> manufacturer, std::optional<std::string> product,
                    std::optional<std::string> version, std::optional<std::string> family,
                    std::optional<std::string> baseboard = {}) {
    SmbiosFields f;
    f.system_manufacturer = std::move(manufacturer);
    f.system_product_name = std::move(product);
    f.system_version = std::move(version);
    f.system_family = std::move(family);
    f.baseboard_product = std::move(baseboard);
    return f;
}

MachineIdentity model(std::optional<std::string> mtm, std::optional<std::string> display_name,
                      std::optional<std::string> display_label) {
    MachineIdentity m;
    if (mtm) m.sources.mtm = PRODUCT_NAME;
    m.mtm = std::move(mtm);
    m.display_name = std::move(display_name);
    m.sources.display_name = std::move(display_label);
    return m;
}

MachineIdentity with_manufacturer(MachineIdentity m, std::string manufacturer) {
    m.manufacturer = std::move(manufacturer);
    m.sources.manufacturer = MANUFACTURER;
    return m;
}

SmbiosFields with_bios(SmbiosFields f) {
    f.bios_vendor = "To Be Filled By O.E.M.";
    f.bios_version = "N2HET77W (1.60 )";
    f.bios_release_date = "02/06/2024";
    return f;
}

MachineIdentity with_bios(MachineIdentity m) {
    m.bios_vendor = "To Be Filled By O.E.M.";
    m.bios_version = "N2HET77W (1.60 )";
    m.bios_release_date = "02/06/2024";
    m.sources.bios_vendor = BIOS_VENDOR;
    m.sources.bios_version = BIOS_VERSION;
    m.sources.bios_release_date = BIOS_DATE;
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Identity, Assembly,
    testing::Values(
        AssemblyCase{"TypeFromProductNameFromVersion",
                     fields_of("LENOVO", "20ABCTO1WW", "ThinkPad Exemple 14 Gen 2", "ThinkPad Family"),
                     with_manufacturer(model("20AB", "ThinkPad Exemple 14 Gen 2", VERSION), "LENOVO")},
        AssemblyCase{"PlaceholderVersionFallsBackToFamily",
                     fields_of("LENOVO", "20ABCTO1WW", "SYSTEM version", "ThinkPad T14 Gen 2"),
                     with_manufacturer(model("20AB", "ThinkPad T14 Gen 2", FAMILY), "LENOVO")},
        AssemblyCase{"ProductThatGaveTheTypeIsNoModelName",
                     fields_of(std::nullopt, "20ABCTO1WW", std::nullopt, std::nullopt, "20ABCTO1WW"),
                     model("20AB", "20ABCTO1WW", BASEBOARD)},
        AssemblyCase{"ProductWithoutTypeIsACandidate", fields_of("Dell Inc.", "Portable 7420", std::nullopt, std::nullopt, "0XYZ12"),
                     with_manufacturer(model(std::nullopt, "Portable 7420", PRODUCT_NAME), "Dell Inc.")},
        AssemblyCase{"FamilyBeforeProduct", fields_of(std::nullopt, "Portable 7420", "  ", "Latitude"),
                     model(std::nullopt, "Latitude", FAMILY)},
        AssemblyCase{"PlaceholderProductIsNeitherTypeNorCandidate",
                     fields_of(std::nullopt, " to be FILLED by o.e.m. ", std::nullopt, "Default String", "X570 AORUS"),
                     model(std::nullopt, "X570 AORUS", BASEBOARD)},
        AssemblyCase{"PlaceholderManufacturerHasNoLabel", fields_of("N/A", "21CD0042XY", "None", std::nullopt),
                     model("21CD", std::nullopt, std::nullopt)},
        AssemblyCase{"ManufacturerMerelyContainingAPlaceholder", fields_of("  Not Specified Inc", std::nullopt, std::nullopt, std::nullopt),
                     with_manufacturer(model(std::nullopt, std::nullopt, std::nullopt), "Not Specified Inc")},
        AssemblyCase{"NothingUsable",
                     fields_of("Default string", "System Product Name", "Not Applicable", "undefined", "Not Specified"),
                     MachineIdentity{}},
        AssemblyCase{"BiosFieldsAreReportedUnchanged", with_bios(fields_of("HP", "8A3C", "", std::nullopt)),
                     with_bios(with_manufacturer(model("8A3C", std::nullopt, std::nullopt), "HP"))},
        AssemblyCase{"EmptyRecord", SmbiosFields{}, MachineIdentity{}}),
    test::RowName{});

// --- identify_machine ----------------------------------------------------------------------------

TEST(IdentifyMachine, ReadsWalksAndAssembles) {
    smbios_fixture::MachineStrings machine;
    machine.bios_vendor = "LENOVO";
    machine.system_manufacturer = "  LENOVO ";
    machine.system_product_name = "20xwcto1ww";
    machine.system_version = "ThinkPad X1 Carbon Gen 9";
    StoredFirmwareSource source(smbios_fixture::machine_table(machine));
    const auto identity = identify_machine(source);
    ASSERT_TRUE(identity.has_value()) << identity.error().display();
    MachineIdentity expected = with_manufacturer(model("20XW", "ThinkPad X1 Carbon Gen 9", VERSION), "LENOVO");
    expected.bios_vendor = "LENOVO";
    expected.sources.bios_vendor = BIOS_VENDOR;
    EXPECT_EQ(*identity, expected);
}

TEST(IdentifyMachine, PassesTheSourceErrorOnUnchanged) {
    StoredFirmwareSource source(HalError{HalErrorKind::AccessDenied, "lecture de la table RSMB refusée"});
    const auto identity = identify_machine(source);
    ASSERT_FALSE(identity.has_value());
    EXPECT_EQ(identity.error().kind, HalErrorKind::AccessDenied);
    EXPECT_EQ(identity.error().display(), "accès refusé : lecture de la table RSMB refusée");
}

TEST(IdentifyMachine, PassesTheWalkerErrorOnUnchanged) {
    smbios_fixture::TableBuilder table;
    // 27 formatted bytes, then "Dell Inc." and two NULs: the broken header starts at byte 38.
    table.structure(1, smbios_fixture::system_area(1, 0, 0, 0), {"Dell Inc."}).header(4, 1);
    StoredFirmwareSource source(table.bytes());
    const auto identity = identify_machine(source);
    ASSERT_FALSE(identity.has_value());
    EXPECT_EQ(identity.error().display(), "données invalides : structure SMBIOS invalide à l'offset 38");
}

}  // namespace
}  // namespace vantrel
