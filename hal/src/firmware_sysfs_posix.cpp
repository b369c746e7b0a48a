#include "hal/src/firmware_sysfs_posix.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "src/util/os_error.hpp"
#include "src/util/unique_fd_posix.hpp"

namespace vantrel {

HalError sysfs_read_error(int error_number, std::string_view path) {
    const std::string where = " (" + std::string(path) + ")";
    switch (error_number) {
        case ENOENT:
            return HalError::unavailable("table SMBIOS absente" + where);
        case EACCES:
        case EPERM:
            return HalError::access_denied("lecture de la table SMBIOS refusée" + where);
        default:
            return HalError::unavailable("lecture de la table SMBIOS impossible" + where + " : " +
                                         system_message(static_cast<unsigned long>(error_number)));
    }
}

std::expected<std::vector<std::uint8_t>, HalError> SysfsFirmwareSource::read_smbios_table() {
    const posix::UniqueFd file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) return std::unexpected(sysfs_read_error(errno, path_));
    // sysfs files may report a size of 4096 whatever they hold: read to the end, not to st_size.
    std::vector<std::uint8_t> table;
    std::uint8_t chunk[8192];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(sysfs_read_error(errno, path_));
        }
        if (got == 0) break;
        table.insert(table.end(), chunk, chunk + got);
    }
    return table;
}

}  // namespace vantrel
