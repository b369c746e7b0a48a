// The rule on the security of the place the service is installed from, over descriptors written
// in SDDL as Windows gives them to the folders and files concerned, and the reading of a path.
#include "src/service/install_location_win32.hpp"

#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "src/util/unique_handle_win32.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

struct Row {
    const char* name;
    const wchar_t* sddl;
    bool open;  // whether ordinary users may change the object
};

// TrustedInstaller, which owns the system's folders; a user's own account; All Application
// Packages. By number, as the SDDL of a real folder shows them.
#define TRUSTED_INSTALLER L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
#define ONE_ACCOUNT L"S-1-5-21-1004336348-1177238915-682003330-1001"
#define APP_PACKAGES L"S-1-15-2-1"
#define WINE_USER L"S-1-5-21-0-0-0-1000"

const Row PLACES[] = {
    {"program_files",
     L"O:" TRUSTED_INSTALLER L"G:" TRUSTED_INSTALLER
     L"D:PAI(A;;FA;;;" TRUSTED_INSTALLER L")(A;CIIO;GA;;;" TRUSTED_INSTALLER L")"
     L"(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
     L"(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)"
     L"(A;;0x1200a9;;;" APP_PACKAGES L")(A;OICIIO;GXGR;;;" APP_PACKAGES L")",
     false},
    {"folder_installed_under_program_files",
     L"O:BAG:SYD:AI(A;ID;FA;;;" TRUSTED_INSTALLER L")(A;CIIOID;GA;;;" TRUSTED_INSTALLER L")"
     L"(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)"
     L"(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)"
     L"(A;ID;0x1200a9;;;" APP_PACKAGES L")(A;OICIIOID;GXGR;;;" APP_PACKAGES L")",
     false},
    {"executable_installed_under_program_files",
     L"O:BAG:SYD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;ID;0x1200a9;;;" APP_PACKAGES L")", false},
    // Authenticated Users may create folders at the root of the system drive (append data is
    // "create a subfolder" on a folder) and change whatever they create there.
    {"system_drive_root",
     L"O:" TRUSTED_INSTALLER L"G:" TRUSTED_INSTALLER
     L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)(A;;0x4;;;AU)",
     true},
    {"folder_created_at_the_system_drive_root",
     L"O:BAG:SYD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)"
     L"(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)",
     true},
    // Writable by its owner alone: an account of its own, which the rule does not tell from an
    // administrator's (the guide says so).
    {"user_profile_folder",
     L"O:" ONE_ACCOUNT L"G:" ONE_ACCOUNT L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" ONE_ACCOUNT L")",
     false},
    {"public_folder_changed_by_interactive_users",
     L"O:SYG:SYD:AI(A;OICIIOID;GA;;;CO)(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
     L"(A;ID;0x1301bf;;;IU)(A;OICIIOID;SDGXGWGR;;;IU)(A;OICIID;0x1200a9;;;BU)",
     true},
    // What Wine makes of the Unix mode bits 0755 and 0777.
    {"wine_mode_0755", L"O:" WINE_USER L"D:(A;;0x1f01ff;;;" WINE_USER L")(A;;0x1f01ff;;;SY)(A;;0x1200a9;;;WD)", false},
    {"wine_mode_0777", L"O:" WINE_USER L"D:(A;;0x1f01ff;;;" WINE_USER L")(A;;0x1f01ff;;;SY)(A;;0x1301ff;;;WD)", true},
    // Inherit-only entries pass on to what is created inside, and do not apply to the object.
    {"inherit_only_write_for_users", L"D:(A;;FA;;;SY)(A;OICIIO;GA;;;BU)(A;;0x1200a9;;;BU)", false},
    {"same_write_for_users_applied", L"D:(A;;FA;;;SY)(A;OICI;GA;;;BU)(A;;0x1200a9;;;BU)", true},
    {"no_dacl_grants_everything", L"O:BAG:BA", true},
    {"empty_dacl_grants_nothing", L"D:", false},
    // Deny entries are not weighed: a place that needs one to be safe is refused.
    {"deny_does_not_excuse_an_allow", L"D:(D;;FA;;;WD)(A;;FA;;;BU)", true},
};

// Each right that changes content or control, and rights that do not, given to Everyone.
const Row RIGHTS[] = {
    {"write_data", L"D:(A;;0x2;;;WD)", true},
    {"append_data", L"D:(A;;0x4;;;WD)", true},
    {"delete", L"D:(A;;SD;;;WD)", true},
    {"delete_child", L"D:(A;;0x40;;;WD)", true},
    {"change_permissions", L"D:(A;;0x40000;;;WD)", true},
    {"change_owner", L"D:(A;;0x80000;;;WD)", true},
    {"generic_write", L"D:(A;;GW;;;WD)", true},
    {"generic_all", L"D:(A;;GA;;;WD)", true},
    {"read_and_execute", L"D:(A;;0x1200a9;;;WD)", false},
    {"generic_read_and_execute", L"D:(A;;GRGX;;;WD)", false},
    {"write_attributes_and_extended_attributes", L"D:(A;;0x110;;;WD)", false},
};

// Modify rights given to each group, on the object itself.
const Row GROUPS[] = {
    {"everyone", L"D:(A;;0x1301bf;;;WD)", true},
    {"authenticated_users", L"D:(A;;0x1301bf;;;AU)", true},
    {"users", L"D:(A;;0x1301bf;;;BU)", true},
    {"interactive", L"D:(A;;0x1301bf;;;IU)", true},
    {"guests", L"D:(A;;0x1301bf;;;BG)", true},
    {"anonymous", L"D:(A;;0x1301bf;;;AN)", true},
    {"administrators", L"D:(A;;FA;;;BA)", false},
    {"local_system", L"D:(A;;FA;;;SY)", false},
    {"one_account", L"D:(A;;FA;;;" ONE_ACCOUNT L")", false},
};

class InstallLocation : public testing::TestWithParam<Row> {};

TEST_P(InstallLocation, OpenToOrdinaryUsersExactlyWhenAnAppliedEntryLetsThemChangeIt) {
    const Row& row = GetParam();
    win32::UniqueLocalMemory<void> descriptor;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(row.sddl, SDDL_REVISION_1, descriptor.put(), nullptr))
        << "SDDL refused, code " << GetLastError();
    EXPECT_EQ(open_to_ordinary_users(descriptor.get()), row.open);
}

INSTANTIATE_TEST_SUITE_P(Places, InstallLocation, testing::ValuesIn(PLACES), test::RowName{});
INSTANTIATE_TEST_SUITE_P(Rights, InstallLocation, testing::ValuesIn(RIGHTS), test::RowName{});
INSTANTIATE_TEST_SUITE_P(Groups, InstallLocation, testing::ValuesIn(GROUPS), test::RowName{});

// A DACL that is present but null (a descriptor that says "no access control") grants everything.
// Built by hand: Wine 8 turns SDDL's "D:NO_ACCESS_CONTROL" into a DACL that is not null.
TEST(InstallLocationNullDacl, GrantsEverything) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, /*present=*/TRUE, /*dacl=*/nullptr, /*defaulted=*/FALSE));
    EXPECT_TRUE(open_to_ordinary_users(&descriptor));
}

// `service install` skips an absent framework folder by these two codes only.
TEST(InstallLocationPath, AbsentFileAndAbsentFolderGiveTheNotFoundCodes) {
    wchar_t buffer[MAX_PATH + 1];
    const std::wstring temp(buffer, GetTempPathW(MAX_PATH + 1, buffer));
    ASSERT_FALSE(temp.empty());
    const std::wstring absent = temp + L"vantrel-absent-" + std::to_wstring(GetCurrentProcessId());

    const auto file = path_open_to_ordinary_users(absent);
    ASSERT_FALSE(file.has_value());
    EXPECT_EQ(file.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const auto inside = path_open_to_ordinary_users(absent + L"\\framework");
    ASSERT_FALSE(inside.has_value());
    EXPECT_EQ(inside.error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
}  // namespace vantrel
