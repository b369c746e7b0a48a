#include "src/service/pipe_security_win32.hpp"

#include <sddl.h>

namespace vantrel {

std::expected<win32::UniqueLocalMemory<void>, DWORD> pipe_security_descriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(PIPE_SECURITY_SDDL, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return std::unexpected(GetLastError());
    }
    return win32::UniqueLocalMemory<void>(descriptor);
}

}  // namespace vantrel
