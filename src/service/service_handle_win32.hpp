#pragma once
// Move-only owner of a service-manager handle (OpenSCManagerW, CreateServiceW, OpenServiceW),
// which CloseServiceHandle releases and NULL marks as absent.

#include <windows.h>

#include <utility>

namespace vantrel::win32 {

class UniqueServiceHandle {
public:
    UniqueServiceHandle() = default;
    explicit UniqueServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    UniqueServiceHandle(const UniqueServiceHandle&) = delete;
    UniqueServiceHandle& operator=(const UniqueServiceHandle&) = delete;
    UniqueServiceHandle(UniqueServiceHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueServiceHandle& operator=(UniqueServiceHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~UniqueServiceHandle() { reset(); }

    [[nodiscard]] SC_HANDLE get() const { return handle_; }
    [[nodiscard]] explicit operator bool() const { return handle_ != nullptr; }
    void reset() {
        if (handle_ != nullptr) CloseServiceHandle(std::exchange(handle_, nullptr));
    }

private:
    SC_HANDLE handle_ = nullptr;
};

}  // namespace vantrel::win32
