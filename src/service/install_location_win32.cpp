// The rule on the security of the place `service install` registers the service from.
#include "src/service/install_location_win32.hpp"

#include <aclapi.h>

#include "src/util/unique_handle_win32.hpp"

namespace vantrel {
namespace {

// Groups that every ordinary user, or someone without an account, is counted in.
constexpr WELL_KNOWN_SID_TYPE ORDINARY_USERS[] = {WinWorldSid,        WinAuthenticatedUserSid, WinBuiltinUsersSid,
                                                  WinInteractiveSid,  WinBuiltinGuestsSid,     WinAnonymousSid};

// Rights that change what a file or folder holds, or who may change it. The generic rights stay
// unmapped in an entry as it was written.
constexpr ACCESS_MASK CHANGING_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | FILE_DELETE_CHILD | WRITE_DAC |
                                        WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool ordinary_users(PSID sid) {
    for (const WELL_KNOWN_SID_TYPE group : ORDINARY_USERS) {
        if (IsWellKnownSid(sid, group)) return true;
    }
    return false;
}

}  // namespace

bool open_to_ordinary_users(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    // A descriptor that cannot be read is taken as the worst.
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return true;
    if (!present || dacl == nullptr) return true;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(dacl, index, &entry)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        // A conditional entry has the same layout and is counted as if its condition held. Object
        // entries belong to directory objects, never to files.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & CHANGING_RIGHTS) != 0 && ordinary_users(&allowed->SidStart)) return true;
    }
    return false;
}

std::expected<bool, DWORD> path_open_to_ordinary_users(const std::wstring& path) {
    win32::UniqueLocalMemory<void> descriptor;
    const DWORD error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                              /*owner=*/nullptr, /*group=*/nullptr, /*dacl=*/nullptr,
                                              /*sacl=*/nullptr, descriptor.put());
    if (error != ERROR_SUCCESS) return std::unexpected(error);
    return open_to_ordinary_users(descriptor.get());
}

}  // namespace vantrel
