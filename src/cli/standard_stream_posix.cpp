#include "cli/standard_stream_posix.hpp"

#include <unistd.h>

#include <cerrno>

namespace vantrel {

FileDescriptorStreamBuf::int_type FileDescriptorStreamBuf::overflow(int_type ch) {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) pending_.push_back(traits_type::to_char_type(ch));
    return traits_type::not_eof(ch);
}

std::streamsize FileDescriptorStreamBuf::xsputn(const char* data, std::streamsize count) {
    pending_.append(data, static_cast<std::size_t>(count));
    return count;
}

int FileDescriptorStreamBuf::sync() {
    std::size_t done = 0;
    int result = 0;
    while (done < pending_.size()) {
        const ssize_t written = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error_ = written < 0 ? static_cast<unsigned long>(errno) : EIO;
            result = -1;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    // Each message is written once; a stream that cannot be written is not retried.
    pending_.clear();
    return result;
}

}  // namespace vantrel
