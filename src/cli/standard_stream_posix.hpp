#pragma once
// A standard stream of the native build written with write(2), whose failures are kept (errno)
// for the caller to report; std::cout only sets its failed state.

#include <streambuf>
#include <string>

#include "cli/standard_stream.hpp"

namespace vantrel {

class FileDescriptorStreamBuf : public std::streambuf, public StreamWriteError {
public:
    explicit FileDescriptorStreamBuf(int fd) : fd_(fd) {}
    FileDescriptorStreamBuf(const FileDescriptorStreamBuf&) = delete;
    FileDescriptorStreamBuf& operator=(const FileDescriptorStreamBuf&) = delete;
    ~FileDescriptorStreamBuf() override { sync(); }

    [[nodiscard]] unsigned long write_error() const override { return error_; }

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    // Writes what is held, every byte; -1 (the stream's failed state) when the system refuses.
    int sync() override;

private:
    int fd_;
    unsigned long error_ = 0;
    std::string pending_;  // held until a flush, then written whole
};

}  // namespace vantrel
