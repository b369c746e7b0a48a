#include <cstring>

#include "src/util/os_error.hpp"

namespace vantrel {

std::string system_message(unsigned long code) {
    // strerror_r (the GNU form, which returns the text): profiles are loaded on several threads.
    char buffer[256];
    return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

}  // namespace vantrel
