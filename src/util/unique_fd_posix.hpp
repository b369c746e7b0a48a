#pragma once
// Owners of the POSIX resources the system uses: descriptors (-1 when open(2) failed) and
// directory streams (NULL when opendir(3) failed).

#include <dirent.h>
#include <unistd.h>

#include "src/util/unique_resource.hpp"

namespace vantrel::posix {

inline void close_fd(int fd) noexcept { ::close(fd); }
inline void close_directory(DIR* directory) noexcept { ::closedir(directory); }

using UniqueFd = UniqueResource<int, &close_fd, -1>;
using UniqueDirectory = UniqueResource<DIR*, &close_directory, nullptr>;

}  // namespace vantrel::posix
