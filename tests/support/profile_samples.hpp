#pragma once
// Profile texts shared by the tests of the decoder, the catalogue and the commands, and by the
// fuzz target's starting corpus.

#include <string>
#include <string_view>

namespace vantrel::profile_samples {

// A complete profile with one capability of each part: the decoder's tests replace one line of it,
// and the fuzz target starts from it.
inline constexpr std::string_view COMPLETE = R"(schema_version = 1
id = "exemple-14-gen2"
display_name = "Exemple 14 Gen 2"
scope = "model"

[matches]
mtm = ["20AB", "20AC"]

[[capabilities]]
id = "charge_limit"
label = "Limite de charge de la batterie"
access = { method = "wmi", class = "ExampleBattery", property = "ChargeLimit" }
confidence = "validated"
sources = ["fiche technique du constructeur"]
validated_on = "2025-03-14"
bounds = { min = 50, max = 100 }

[[capabilities]]
id = "power_mode"
label = "Mode d'alimentation"
access = { method = "platform_profile" }
confidence = "assumed"
sources = ["documentation du système"]
)";


// The smallest profile that loads: a model profile recognised by the machine type 20AB, the type
// of the firmware tables the tests build from the product name "20ABCTO1WW".
inline std::string model_profile(std::string_view id, std::string_view display_name = "D") {
    return "schema_version = 1\nid = \"" + std::string(id) + "\"\ndisplay_name = \"" + std::string(display_name) +
           "\"\nscope = \"model\"\n[matches]\nmtm = [\"20AB\"]\n";
}

}  // namespace vantrel::profile_samples
