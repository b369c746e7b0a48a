#pragma once
// The standard streams' buffers keep the system's code of a write that failed, so that a document
// that never reached standard output is reported with the system's reason, not as a success.

#include <iosfwd>
#include <string>

namespace vantrel {

class StreamWriteError {
public:
    // The system's error code of the last write that failed; 0 while every write succeeded.
    [[nodiscard]] virtual unsigned long write_error() const = 0;

protected:
    StreamWriteError() = default;
    StreamWriteError(const StreamWriteError&) = default;
    StreamWriteError& operator=(const StreamWriteError&) = default;
    ~StreamWriteError() = default;
};

// Why `stream` is in the failed state: "{system description} (os error {code})" when its buffer
// keeps the code, a fixed text otherwise.
[[nodiscard]] std::string stream_failure_reason(const std::ostream& stream);

}  // namespace vantrel
