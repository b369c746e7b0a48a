#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <thread>

#include "src/util/os_error.hpp"
#include "src/util/unique_fd_posix.hpp"
#include "src/profiles/profile_files.hpp"
#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

LoadError os_error(int code) { return {describe_os_error(static_cast<unsigned long>(code))}; }

}  // namespace

std::expected<std::vector<std::string>, LoadError> list_directory(const std::string& dir) {
    const posix::UniqueDirectory directory(opendir(dir.c_str()));
    if (!directory) return std::unexpected(os_error(errno));
    std::vector<std::string> names;
    for (;;) {
        // readdir tells its end from its failure only through errno.
        errno = 0;
        const dirent* entry = readdir(directory.get());
        if (entry == nullptr) {
            if (errno != 0) return std::unexpected(os_error(errno));
            return names;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        // Bytes as they are, UTF-8 or not: they open the file; messages show them with U+FFFD.
        names.emplace_back(name);
    }
}

std::string display_path(const std::string& path) { return decode_utf8_lossy(path); }

std::size_t loading_threads() { return std::max(1U, std::thread::hardware_concurrency()); }

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.ends_with('/')) return dir + name;
    return dir + '/' + name;
}

std::expected<std::string, LoadError> read_whole_file(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const posix::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file) return std::unexpected(os_error(errno));
    struct stat status {};
    if (fstat(file.get(), &status) != 0) return std::unexpected(os_error(errno));
    // A directory opens but does not read: "Is a directory (os error 21)". Anything else that is
    // not a regular file (a FIFO, a device) is "unsuitable for reading", which read(2) calls EINVAL.
    if (S_ISDIR(status.st_mode)) return std::unexpected(os_error(EISDIR));
    if (!S_ISREG(status.st_mode)) return std::unexpected(os_error(EINVAL));
    if (static_cast<std::uintmax_t>(status.st_size) > MAX_PROFILE_FILE_BYTES) {
        return std::unexpected(profile_too_large(path));
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t count = read(file.get(), buffer, sizeof buffer);
        if (count == 0) return content;
        if (count < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(os_error(errno));
        }
        // The file may have grown since it was measured.
        if (content.size() + static_cast<std::size_t>(count) > MAX_PROFILE_FILE_BYTES) {
            return std::unexpected(profile_too_large(path));
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

}  // namespace vantrel
