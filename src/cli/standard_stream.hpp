#pragma once
// The standard streams' buffers keep the system's code of a write that failed, so that a document
// that never reached standard output is reported with the system's reason, not as a success.

#include <iosfwd>
#include <streambuf>
#include <string>
#include <string_view>

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

// A standard stream's buffer: the text is held until a flush and then handed whole to the
// platform's write, so a UTF-8 sequence is never split between two writes; each platform writes
// the bytes its own way. std::cout's buffers would only set the failed state.
class StandardStreamBuf : public std::streambuf, public StreamWriteError {
public:
    StandardStreamBuf(const StandardStreamBuf&) = delete;
    StandardStreamBuf& operator=(const StandardStreamBuf&) = delete;

    [[nodiscard]] unsigned long write_error() const final { return error_; }

protected:
    StandardStreamBuf() = default;
    // The platform's destructor flushes what is held: once this one runs, its write is gone.
    ~StandardStreamBuf() override = default;

    int_type overflow(int_type ch) final;
    std::streamsize xsputn(const char* data, std::streamsize count) final;
    // Writes what is held; -1 (the stream's failed state) when the system refuses.
    int sync() final;

    // Writes every byte, repeating partial writes: 0, or the system's code of the failure.
    [[nodiscard]] virtual unsigned long write_all(std::string_view bytes) noexcept = 0;

private:
    std::string pending_;
    unsigned long error_ = 0;  // of the last write that failed
};

// Why `stream` is in the failed state: "{system description} (os error {code})" when its buffer
// keeps the code, a fixed text otherwise.
[[nodiscard]] std::string stream_failure_reason(const std::ostream& stream);

}  // namespace vantrel
