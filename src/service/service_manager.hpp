#pragma once
// The service manager's calls that `service install` and `service uninstall` make. The commands
// decide and word everything against this interface, the Windows implementation only makes the
// calls, and tests pass a fake, as identification does with FirmwareSource.

#include <chrono>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

class ServiceManager {
public:
    // An open handle of the manager's, to the manager itself or to the service; destroying the
    // owner closes it.
    class Handle {
    public:
        virtual ~Handle() = default;
    };
    using OwnedHandle = std::unique_ptr<Handle>;
    // The system's error code of a call that failed, read right after the call.
    using ErrorCode = unsigned long;

    virtual ~ServiceManager() = default;

    // The local machine's manager, with the right to create services.
    [[nodiscard]] virtual std::expected<OwnedHandle, ErrorCode> open_manager() = 0;
    // The full path of the running executable in the system's own UTF-16, which need not be valid
    // Unicode and is stored unchanged; or the system's description of why it is unknown.
    [[nodiscard]] virtual std::expected<std::u16string, std::string> executable_path() = 0;
    // Whether ordinary users may change the file or folder at `path`: the rule is
    // install_location_win32.hpp's. The failure is the system's error code, NO_SUCH_FILE or
    // NO_SUCH_PATH when nothing is there.
    [[nodiscard]] virtual std::expected<bool, ErrorCode> open_to_ordinary_users(std::u16string_view path) = 0;
    // Registers the service (own process, automatic start, the manager's default account), which
    // the manager will start by running `command_line`.
    [[nodiscard]] virtual std::expected<OwnedHandle, ErrorCode> create_service(const Handle& manager,
                                                                              std::u16string_view command_line) = 0;
    // Lets time pass before another attempt at registration.
    virtual void wait_before_retry(std::chrono::milliseconds pause) = 0;
    // Opens the registered service with every right.
    [[nodiscard]] virtual std::expected<OwnedHandle, ErrorCode> open_service(const Handle& manager) = 0;
    // Marks the service for deletion; the manager removes it once no handle to it is open.
    [[nodiscard]] virtual std::expected<void, ErrorCode> delete_service(const Handle& service) = 0;
};

// The codes the commands tell apart (ERROR_SERVICE_EXISTS, ERROR_SERVICE_DOES_NOT_EXIST,
// ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND).
inline constexpr ServiceManager::ErrorCode SERVICE_ALREADY_EXISTS = 1073;
inline constexpr ServiceManager::ErrorCode SERVICE_NOT_INSTALLED = 1060;
inline constexpr ServiceManager::ErrorCode SERVICE_DELETION_PENDING = 1072;
inline constexpr ServiceManager::ErrorCode NO_SUCH_FILE = 2;
inline constexpr ServiceManager::ErrorCode NO_SUCH_PATH = 3;

// The service manager of the system this program was built for, or why there is none.
[[nodiscard]] std::expected<std::unique_ptr<ServiceManager>, std::string> platform_service_manager();

}  // namespace vantrel
