#pragma once
// A standard stream of the native build written with write(2), whose failures are kept (errno)
// for the caller to report.

#include "src/cli/standard_stream.hpp"

namespace vantrel {

class FileDescriptorStreamBuf final : public StandardStreamBuf {
public:
    explicit FileDescriptorStreamBuf(int fd) : fd_(fd) {}
    ~FileDescriptorStreamBuf() override { sync(); }

private:
    unsigned long write_all(std::string_view bytes) noexcept override;

    int fd_;
};

}  // namespace vantrel
