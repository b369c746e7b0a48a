#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "os_error.hpp"
#include "profiles/profile_files.hpp"

namespace vantrel {
namespace {

LoadError os_error(int code) { return {LoadErrorKind::Io, describe_os_error(static_cast<unsigned long>(code))}; }

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::expected<std::vector<std::string>, LoadError> list_directory(const std::string& dir) {
    const std::unique_ptr<DIR, DirectoryCloser> directory(opendir(dir.c_str()));
    if (!directory) return std::unexpected(os_error(errno));
    std::vector<std::string> names;
    // readdir reports a failed step as the end of the listing: what was listed so far stands.
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        names.emplace_back(name);
    }
    return names;
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.ends_with('/')) return dir + name;
    return dir + '/' + name;
}

std::expected<std::string, LoadError> read_whole_file(const std::string& path) {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return std::unexpected(os_error(errno));
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t count = read(file.get(), buffer, sizeof buffer);
        if (count == 0) return content;
        if (count < 0) {
            if (errno == EINTR) continue;
            // A directory opens but does not read: "Is a directory (os error 21)".
            return std::unexpected(os_error(errno));
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

}  // namespace vantrel
