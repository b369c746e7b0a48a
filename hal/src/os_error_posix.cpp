#include <cstring>

#include "hal/os_error.hpp"

namespace vantrel {

std::string describe_os_error(unsigned long code) {
    return std::string(std::strerror(static_cast<int>(code))) + " (os error " + std::to_string(code) + ")";
}

}  // namespace vantrel
