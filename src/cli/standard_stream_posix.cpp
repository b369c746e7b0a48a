#include "src/cli/standard_stream_posix.hpp"

#include <unistd.h>

#include <cerrno>

namespace vantrel {

unsigned long FileDescriptorStreamBuf::write_all(std::string_view bytes) noexcept {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return static_cast<unsigned long>(errno);
        if (written == 0) return EIO;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace vantrel
