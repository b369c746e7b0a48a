#include "src/profiles/validation.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

Capability capability(std::string id) {
    return Capability{.id = std::move(id),
                      .label = "",
                      .access = PlatformProfile{},
                      .confidence = Confidence::Assumed,
                      .sources = {"fiche"},
                      .validated_on = std::nullopt,
                      .bounds = std::nullopt,
                      .notes = std::nullopt};
}

MachineProfile valid_model() {
    return MachineProfile{.schema_version = 1,
                          .id = "p",
                          .display_name = "",
                          .scope = ProfileScope::Model,
                          .matches = {.mtm = {"20AB"}, .version_contains = {}},
                          .capabilities = {capability("a")}};
}

struct RuleRow {
    std::string name;
    std::function<void(MachineProfile&)> change;
    std::string expected;  // the displayed error, or empty when the profile passes
};

class ValidateProfile : public testing::TestWithParam<RuleRow> {};

TEST_P(ValidateProfile, AppliesTheRulesInOrder) {
    MachineProfile profile = valid_model();
    GetParam().change(profile);
    const auto result = validate_profile(profile);
    if (GetParam().expected.empty()) {
        EXPECT_TRUE(result) << result.error().message;
    } else {
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().message, GetParam().expected);
    }
}

void family(MachineProfile& p) {
    p.scope = ProfileScope::Family;
    p.matches = {.mtm = {}, .version_contains = {"ThinkPad X1"}};
}

INSTANTIATE_TEST_SUITE_P(
    Profile, ValidateProfile,
    testing::Values(
        RuleRow{"Valid", [](MachineProfile&) {}, ""},
        RuleRow{"NoCapabilities", [](MachineProfile& p) { p.capabilities.clear(); }, ""},
        RuleRow{"SchemaBeforeIdentifier", [](MachineProfile& p) { p.schema_version = 2; p.id = ""; },
                "version de schéma 2 non supportée (attendu 1)"},
        RuleRow{"SchemaMax", [](MachineProfile& p) { p.schema_version = 4294967295u; },
                "version de schéma 4294967295 non supportée (attendu 1)"},
        RuleRow{"SchemaZero", [](MachineProfile& p) { p.schema_version = 0; }, "version de schéma 0 non supportée (attendu 1)"},
        RuleRow{"BlankId", [](MachineProfile& p) { p.id = "   "; }, "profil «     » : identifiant vide"},
        RuleRow{"UnicodeBlankId", [](MachineProfile& p) { p.id = "\u00A0\u3000\t\u2028"; },
                "profil « \u00A0\u3000\t\u2028 » : identifiant vide"},
        RuleRow{"IdKeptAsWritten", [](MachineProfile& p) { p.id = " x "; p.matches.mtm = {"20A"}; },
                "profil «  x  » : MTM mal formé : « 20A »"},
        RuleRow{"NotWhiteSpace", [](MachineProfile& p) { p.id = "\u200B"; }, ""},
        RuleRow{"ModelWithoutMtm", [](MachineProfile& p) { p.matches = {.mtm = {}, .version_contains = {"X1"}}; },
                "profil « p » : profil de modèle sans MTM"},
        RuleRow{"FamilyWithoutName", [](MachineProfile& p) { p.scope = ProfileScope::Family; },
                "profil « p » : profil de famille sans nom commercial"},
        RuleRow{"Family", family, ""},
        RuleRow{"FamilyBlankName", [](MachineProfile& p) { family(p); p.matches.version_contains = {""}; }, ""},
        RuleRow{"FamilyBadMtm", [](MachineProfile& p) { family(p); p.matches.mtm = {"ABCDE"}; },
                "profil « p » : MTM mal formé : « ABCDE »"},
        RuleRow{"SecondMtmShort", [](MachineProfile& p) { p.matches.mtm = {"20AB", "20A"}; },
                "profil « p » : MTM mal formé : « 20A »"},
        RuleRow{"LowerCaseMtm", [](MachineProfile& p) { p.matches.mtm = {"20ab", "zZ09"}; }, ""},
        RuleRow{"LeadingSpace", [](MachineProfile& p) { p.matches.mtm = {" 20A"}; }, "profil « p » : MTM mal formé : «  20A »"},
        RuleRow{"Dash", [](MachineProfile& p) { p.matches.mtm = {"20-B"}; }, "profil « p » : MTM mal formé : « 20-B »"},
        // Two bytes, one character each: four bytes that are not four ASCII characters.
        RuleRow{"NonAscii", [](MachineProfile& p) { p.matches.mtm = {"éé"}; }, "profil « p » : MTM mal formé : « éé »"}),
    test::RowName{});

INSTANTIATE_TEST_SUITE_P(
    Capabilities, ValidateProfile,
    testing::Values(
        RuleRow{"CaseDistinct", [](MachineProfile& p) { p.capabilities = {capability("a"), capability("A"), capability("a ")}; }, ""},
        RuleRow{"Duplicate", [](MachineProfile& p) { p.capabilities = {capability("a"), capability("b"), capability("a")}; },
                "profil « p » : capacité dupliquée : a"},
        RuleRow{"BlankDuplicates", [](MachineProfile& p) { p.capabilities = {capability(""), capability("")}; },
                "profil « p » : capacité dupliquée : "},
        RuleRow{"DuplicateBeforeSource",
                [](MachineProfile& p) {
                    p.capabilities.push_back(capability("a"));
                    p.capabilities.back().sources.clear();
                },
                "profil « p » : capacité dupliquée : a"},
        RuleRow{"NoSource", [](MachineProfile& p) { p.capabilities[0].sources.clear(); }, "profil « p » : capacité a sans source"},
        RuleRow{"BlankSources", [](MachineProfile& p) { p.capabilities[0].sources = {"", "  ", "\u3000"}; },
                "profil « p » : capacité a sans source"},
        RuleRow{"OneSource", [](MachineProfile& p) { p.capabilities[0].sources = {"", "x"}; }, ""},
        RuleRow{"ValidatedWithoutDate", [](MachineProfile& p) { p.capabilities[0].confidence = Confidence::Validated; },
                "profil « p » : capacité a « validated » sans validated_on"},
        RuleRow{"ValidatedBlankDate",
                [](MachineProfile& p) {
                    p.capabilities[0].confidence = Confidence::Validated;
                    p.capabilities[0].validated_on = " ";
                },
                "profil « p » : capacité a « validated » sans validated_on"},
        RuleRow{"ValidatedWithDate",
                [](MachineProfile& p) {
                    p.capabilities[0].confidence = Confidence::Validated;
                    p.capabilities[0].validated_on = "T14 Gen 4, 2025";
                },
                ""},
        RuleRow{"DocumentedWithoutDate", [](MachineProfile& p) { p.capabilities[0].confidence = Confidence::Documented; }, ""},
        RuleRow{"EqualBounds", [](MachineProfile& p) { p.capabilities[0].bounds = Bounds{3, 3}; }, ""},
        RuleRow{"NegativeBounds", [](MachineProfile& p) { p.capabilities[0].bounds = Bounds{-1, 0}; }, ""},
        RuleRow{"InvertedBounds", [](MachineProfile& p) { p.capabilities[0].bounds = Bounds{-5, -10}; },
                "profil « p » : bornes inversées pour a"},
        RuleRow{"ExtremeBounds",
                [](MachineProfile& p) { p.capabilities[0].bounds = Bounds{INT64_MAX, INT64_MIN}; },
                "profil « p » : bornes inversées pour a"}),
    test::RowName{});

TEST(ValidateProfile, TellsTheSchemaFromTheRulesAndKeepsTheIdAsWritten) {
    MachineProfile profile = valid_model();
    profile.schema_version = 7;
    auto result = validate_profile(profile);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (ProfileError{ProfileErrorKind::UnsupportedSchema,
                                            "version de schéma 7 non supportée (attendu 1)"}));

    profile = valid_model();
    profile.id = " p ";
    profile.capabilities[0].sources.clear();
    result = validate_profile(profile);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (ProfileError{ProfileErrorKind::Invalid, "profil «  p  » : capacité a sans source"}));
}

}  // namespace
}  // namespace vantrel
