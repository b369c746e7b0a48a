#include "src/cli/vendor.hpp"

#include <algorithm>
#include <string>

#include "src/util/unicode.hpp"

namespace vantrel {

bool is_lenovo_thinkpad(const MachineIdentity& identity) {
    if (!identity.manufacturer || !ascii_iequals(*identity.manufacturer, "lenovo")) return false;
    if (!identity.display_name) return false;
    return ascii_lower(*identity.display_name).find("thinkpad") != std::string::npos;
}

bool is_known_vendor(const MachineIdentity& identity) {
    if (!identity.manufacturer) return false;
    const std::string manufacturer = ascii_lower(*identity.manufacturer);
    return std::ranges::any_of(LAPTOP_VENDORS, [&](std::string_view word) {
        return manufacturer.find(word) != std::string::npos;
    });
}

}  // namespace vantrel
