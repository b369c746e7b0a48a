#include "src/cli/standard_stream.hpp"

#include <ostream>

#include "src/util/os_error.hpp"

namespace vantrel {

StandardStreamBuf::int_type StandardStreamBuf::overflow(int_type ch) {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) pending_.push_back(traits_type::to_char_type(ch));
    return traits_type::not_eof(ch);
}

std::streamsize StandardStreamBuf::xsputn(const char* data, std::streamsize count) {
    pending_.append(data, static_cast<std::size_t>(count));
    return count;
}

int StandardStreamBuf::sync() {
    if (pending_.empty()) return 0;
    const unsigned long failure = write_all(pending_);
    // Each message is written once; a stream that cannot be written is not retried.
    pending_.clear();
    if (failure == 0) return 0;
    error_ = failure;
    return -1;
}

std::string stream_failure_reason(const std::ostream& stream) {
    const auto* buffer = dynamic_cast<const StreamWriteError*>(stream.rdbuf());
    if (buffer == nullptr || buffer->write_error() == 0) return "écriture refusée par le flux";
    return describe_os_error(buffer->write_error());
}

}  // namespace vantrel
