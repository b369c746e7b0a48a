#include "src/cli/resolution.hpp"

#include <gtest/gtest.h>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

MachineProfile profile(std::string id, ProfileScope scope, std::vector<std::string> mtm,
                       std::vector<std::string> fragments) {
    return MachineProfile{1, std::move(id), "Nom", scope, Matches{std::move(mtm), std::move(fragments)}, {}};
}
MachineProfile model(std::string id, std::vector<std::string> mtm, std::vector<std::string> fragments = {}) {
    return profile(std::move(id), ProfileScope::Model, std::move(mtm), std::move(fragments));
}
MachineProfile family(std::string id, std::vector<std::string> fragments, std::vector<std::string> mtm = {}) {
    return profile(std::move(id), ProfileScope::Family, std::move(mtm), std::move(fragments));
}

MachineIdentity identity(std::optional<std::string> manufacturer, std::optional<std::string> mtm,
                         std::optional<std::string> display_name) {
    MachineIdentity id;
    id.manufacturer = std::move(manufacturer);
    id.mtm = std::move(mtm);
    id.display_name = std::move(display_name);
    return id;
}

struct Case {
    const char* name;
    ProfileCatalogue catalogue;
    MachineIdentity machine;
    ResolutionKind kind;
    const char* profile_id;  // null when no profile is carried
};

class Resolving : public testing::TestWithParam<Case> {};

TEST_P(Resolving, GivesTheOutcomeAndTheFirstMatchingProfile) {
    const Case& c = GetParam();
    const Resolution got = resolve_machine(c.catalogue, c.machine);
    EXPECT_EQ(resolution_word(got.kind), resolution_word(c.kind));
    if (c.profile_id == nullptr) {
        EXPECT_EQ(got.profile, nullptr);
    } else {
        ASSERT_NE(got.profile, nullptr);
        EXPECT_EQ(got.profile->id, c.profile_id);
        // The profile is a reference into the catalogue, not a copy.
        EXPECT_GE(got.profile, c.catalogue.data());
        EXPECT_LT(got.profile, c.catalogue.data() + c.catalogue.size());
    }
}

const auto THINKPAD = identity("LENOVO", "20AB", "ThinkPad Exemple 14 Gen 2");

INSTANTIATE_TEST_SUITE_P(
    Phases, Resolving,
    testing::Values(
        Case{"empty_catalogue_thinkpad", {}, THINKPAD, ResolutionKind::DynamicProbe, nullptr},
        Case{"empty_catalogue_unknown_maker", {}, identity("Acme", "20AB", "X"), ResolutionKind::Unsupported, nullptr},
        Case{"mtm_folded_ascii_only", {model("m", {"20ab"})}, THINKPAD, ResolutionKind::Exact, "m"},
        Case{"mtm_with_trailing_blank", {model("m", {"20AB "})}, THINKPAD, ResolutionKind::DynamicProbe, nullptr},
        Case{"mtm_prefix", {model("m", {"20A"})}, THINKPAD, ResolutionKind::DynamicProbe, nullptr},
        Case{"mtm_longer", {model("m", {"20ABC"})}, THINKPAD, ResolutionKind::DynamicProbe, nullptr},
        Case{"non_ascii_bytes_must_be_identical", {model("m", {"2\xC3\x96" "A"})},
             identity("Acme", "2\xC3\xB6" "A", std::nullopt), ResolutionKind::Unsupported, nullptr},
        Case{"two_models_earlier_wins", {model("a", {"20XX", "20AB"}), model("b", {"20AB"})}, THINKPAD,
             ResolutionKind::Exact, "a"},
        Case{"exact_wins_over_earlier_family", {family("f", {"exemple"}), model("m", {"20AB"})}, THINKPAD,
             ResolutionKind::Exact, "m"},
        Case{"family_fragment_anywhere_case_folded", {family("f", {"exemple 14"})}, THINKPAD,
             ResolutionKind::Family, "f"},
        Case{"model_fragment_never_gives_family", {model("m", {}, {"exemple 14"})}, THINKPAD,
             ResolutionKind::DynamicProbe, nullptr},
        Case{"family_mtm_never_gives_exact", {family("f", {"nothing"}, {"20AB"})}, THINKPAD,
             ResolutionKind::DynamicProbe, nullptr},
        Case{"empty_fragment_is_in_every_name", {family("f", {""})}, identity(std::nullopt, std::nullopt, "Z"),
             ResolutionKind::Family, "f"},
        Case{"family_without_mtm", {family("f", {"Exemple"})}, identity("LENOVO", std::nullopt, "ThinkPad Exemple"),
             ResolutionKind::Family, "f"},
        Case{"family_looks_at_the_display_name_only", {family("f", {"lenovo", "20ab"})}, THINKPAD,
             ResolutionKind::DynamicProbe, nullptr},
        Case{"two_families_first_fragment_found_wins", {family("a", {"zzz"}), family("b", {"gen 2"}), family("c", {"gen"})},
             THINKPAD, ResolutionKind::Family, "b"},
        Case{"no_display_name_exact_only", {family("f", {""})}, identity("Dell Inc.", std::nullopt, std::nullopt),
             ResolutionKind::DynamicProbe, nullptr},
        Case{"nothing_at_all", {model("m", {"20AB"})}, identity("Acme", std::nullopt, std::nullopt),
             ResolutionKind::Unsupported, nullptr},
        Case{"lenovo_without_thinkpad", {}, identity("Lenovo", "82AB", "IdeaPad Exemple 5"),
             ResolutionKind::Unsupported, nullptr},
        Case{"known_vendor", {}, identity("HP", "1234", "EliteBook"), ResolutionKind::DynamicProbe, nullptr}),
    test::RowName{});

}  // namespace
}  // namespace vantrel
