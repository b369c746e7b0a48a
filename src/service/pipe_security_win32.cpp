#include "src/service/pipe_security_win32.hpp"

#include <sddl.h>

namespace vantrel {

std::expected<win32::UniqueLocalMemory<void>, DWORD> pipe_security_descriptor() {
    win32::UniqueLocalMemory<void> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(PIPE_SECURITY_SDDL, SDDL_REVISION_1, descriptor.put(),
                                                              nullptr)) {
        return std::unexpected(GetLastError());
    }
    return descriptor;
}

}  // namespace vantrel
