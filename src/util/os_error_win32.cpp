#include "src/util/os_error.hpp"
#include "src/util/text_win32.hpp"

namespace vantrel {

std::string describe_os_error(unsigned long code) {
    return win32::system_message(code) + " (os error " + std::to_string(code) + ")";
}

}  // namespace vantrel
