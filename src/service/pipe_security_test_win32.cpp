// Who may do what on the service's pipe, read from the descriptor the server gives it.
#include "src/service/pipe_security_win32.hpp"

#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

// The rights the descriptor's allow entries give the SID, and whether any entry names it at all.
struct Granted {
    ACCESS_MASK rights = 0;
    bool named = false;
};

Granted granted_to(PSECURITY_DESCRIPTOR descriptor, const wchar_t* sid_text) {
    win32::UniqueLocalMemory<void> sid;
    EXPECT_TRUE(ConvertStringSidToSidW(sid_text, sid.put())) << GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present && dacl != nullptr) << "no DACL: everyone would have every right";
    Granted granted;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if (!EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid.get())) continue;
        granted.named = true;
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE) granted.rights |= allowed->Mask;
    }
    return granted;
}

struct PipeRight {
    const char* name;
    const wchar_t* sid;
    bool reads_and_writes;
    bool creates_instances;
};

class PipeSecurity : public testing::TestWithParam<PipeRight> {};

TEST_P(PipeSecurity, GivesEachAccountItsRights) {
    const auto descriptor = pipe_security_descriptor();
    ASSERT_TRUE(descriptor.has_value()) << descriptor.error();
    const Granted granted = granted_to(descriptor->get(), GetParam().sid);
    const ACCESS_MASK read_write = FILE_READ_DATA | FILE_WRITE_DATA;
    // GENERIC_ALL stands for every right on a pipe, instance creation included.
    const bool all = (granted.rights & GENERIC_ALL) != 0;
    EXPECT_EQ(all || (granted.rights & read_write) == read_write, GetParam().reads_and_writes);
    EXPECT_EQ(all || (granted.rights & FILE_CREATE_PIPE_INSTANCE) != 0, GetParam().creates_instances);
    EXPECT_EQ((granted.rights & GENERIC_WRITE) != 0, false) << "GENERIC_WRITE includes FILE_CREATE_PIPE_INSTANCE";
    if (!GetParam().reads_and_writes) {
        EXPECT_FALSE(granted.named);
    }
}

INSTANTIATE_TEST_SUITE_P(Accounts, PipeSecurity,
                         testing::Values(PipeRight{"local_system", L"S-1-5-18", true, true},
                                         PipeRight{"administrators", L"S-1-5-32-544", true, true},
                                         PipeRight{"interactive_users", L"S-1-5-4", true, false},
                                         PipeRight{"everyone", L"S-1-1-0", false, false},
                                         PipeRight{"anonymous", L"S-1-5-7", false, false},
                                         PipeRight{"network_logons", L"S-1-5-2", false, false},
                                         PipeRight{"authenticated_users", L"S-1-5-11", false, false},
                                         PipeRight{"users", L"S-1-5-32-545", false, false}),
                         test::RowName{});

TEST(PipeSecurity, IsProtectedFromInheritanceAndReadsBackAsWritten) {
    const auto descriptor = pipe_security_descriptor();
    ASSERT_TRUE(descriptor.has_value()) << descriptor.error();
    win32::UniqueLocalMemory<wchar_t> text;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor->get(), SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, text.put(), nullptr));
    EXPECT_EQ(std::wstring(text.get()), L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)");
}

}  // namespace
}  // namespace vantrel
