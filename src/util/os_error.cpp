#include "src/util/os_error.hpp"

namespace vantrel {

std::string describe_os_error(unsigned long code) {
    return system_message(code) + " (os error " + std::to_string(code) + ")";
}

std::string os_error_code(unsigned long code) { return "(code " + std::to_string(code) + ")"; }

}  // namespace vantrel
