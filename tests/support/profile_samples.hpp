#pragma once
// Profile texts shared by the tests of the catalogue and of the commands.

#include <string>
#include <string_view>

namespace vantrel::profile_samples {

// The smallest profile that loads: a model profile recognised by the machine type 20AB, the type
// of the firmware tables the tests build from the product name "20ABCTO1WW".
inline std::string model_profile(std::string_view id, std::string_view display_name = "D") {
    return "schema_version = 1\nid = \"" + std::string(id) + "\"\ndisplay_name = \"" + std::string(display_name) +
           "\"\nscope = \"model\"\n[matches]\nmtm = [\"20AB\"]\n";
}

}  // namespace vantrel::profile_samples
