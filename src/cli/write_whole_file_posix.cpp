#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "src/cli/write_output.hpp"
#include "src/util/os_error.hpp"
#include "src/util/unique_fd_posix.hpp"

namespace vantrel {
std::expected<void, std::string> write_whole_file(const std::string& path, std::string_view bytes) {
    posix::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file) return std::unexpected(describe_os_error(errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            return std::unexpected(describe_os_error(n < 0 ? errno : EIO));
        }
        done += static_cast<std::size_t>(n);
    }
    // A close that fails (a full disk on NFS, say) means the bytes may not have arrived.
    if (::close(file.release()) != 0) return std::unexpected(describe_os_error(errno));
    return {};
}

}  // namespace vantrel
