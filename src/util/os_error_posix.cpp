#include <cstring>

#include "src/util/os_error.hpp"

namespace vantrel {

std::string describe_os_error(unsigned long code) {
    // strerror_r (the GNU form, which returns the text): profiles are loaded on several threads.
    char buffer[256];
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

}  // namespace vantrel
