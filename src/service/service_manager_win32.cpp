// The service manager's calls for `service install` and `service uninstall`, with the values the
// service is registered with.
#include <windows.h>

#include "src/util/executable_path_win32.hpp"
#include "src/util/os_error.hpp"
#include "src/util/unique_handle_win32.hpp"
#include "src/service/install_location_win32.hpp"
#include "src/service/service_manager.hpp"
#include "src/service/service_name.hpp"

namespace vantrel {
namespace {

static_assert(SERVICE_ALREADY_EXISTS == ERROR_SERVICE_EXISTS);
static_assert(SERVICE_NOT_INSTALLED == ERROR_SERVICE_DOES_NOT_EXIST);
static_assert(SERVICE_DELETION_PENDING == ERROR_SERVICE_MARKED_FOR_DELETE);
static_assert(NO_SUCH_FILE == ERROR_FILE_NOT_FOUND);
static_assert(NO_SUCH_PATH == ERROR_PATH_NOT_FOUND);

constexpr const wchar_t* DISPLAY_NAME = L"Vantrel HAL (acc\u00e8s mat\u00e9riel privil\u00e9gi\u00e9)";

class OpenHandle final : public ServiceManager::Handle {
public:
    explicit OpenHandle(win32::UniqueServiceHandle handle) noexcept : handle_(std::move(handle)) {}
    [[nodiscard]] SC_HANDLE get() const noexcept { return handle_.get(); }

private:
    win32::UniqueServiceHandle handle_;
};

// Every handle the commands pass back is one that this implementation opened.
SC_HANDLE raw(const ServiceManager::Handle& handle) { return static_cast<const OpenHandle&>(handle).get(); }

// The owner of a call's result, or the call's error code, read before any other call.
std::expected<ServiceManager::OwnedHandle, ServiceManager::ErrorCode> owned(SC_HANDLE result) {
    win32::UniqueServiceHandle handle(result);
    if (!handle) return std::unexpected(GetLastError());
    return std::make_unique<OpenHandle>(std::move(handle));
}

class WindowsServiceManager final : public ServiceManager {
public:
    std::expected<OwnedHandle, ErrorCode> open_manager() override {
        return owned(OpenSCManagerW(/*machine=*/nullptr, /*database=*/nullptr, SC_MANAGER_CREATE_SERVICE));
    }

    std::expected<std::u16string, std::string> executable_path() override {
        const auto path = win32::executable_path();
        if (!path) return std::unexpected(system_message(path.error()));
        return std::u16string(path->begin(), path->end());
    }

    std::expected<bool, ErrorCode> open_to_ordinary_users(std::u16string_view path) override {
        return path_open_to_ordinary_users(std::wstring(path.begin(), path.end()));
    }

    std::expected<OwnedHandle, ErrorCode> create_service(const Handle& manager,
                                                         std::u16string_view command_line) override {
        const std::wstring stored(command_line.begin(), command_line.end());
        return owned(CreateServiceW(raw(manager), SERVICE_NAME_W, DISPLAY_NAME, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                    stored.c_str(), /*load_order_group=*/nullptr, /*tag=*/nullptr,
                                    /*dependencies=*/nullptr, /*account=*/nullptr, /*password=*/nullptr));
    }

    void wait_before_retry(std::chrono::milliseconds pause) override { Sleep(static_cast<DWORD>(pause.count())); }

    std::expected<OwnedHandle, ErrorCode> open_service(const Handle& manager) override {
        return owned(OpenServiceW(raw(manager), SERVICE_NAME_W, SERVICE_ALL_ACCESS));
    }

    std::expected<void, ErrorCode> delete_service(const Handle& service) override {
        if (!DeleteService(raw(service))) return std::unexpected(GetLastError());
        return {};
    }
};

}  // namespace

std::expected<std::unique_ptr<ServiceManager>, std::string> platform_service_manager() {
    return std::make_unique<WindowsServiceManager>();
}

}  // namespace vantrel
