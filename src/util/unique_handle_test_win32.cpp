// The kernel handle owners against the system's own results: a failed call, whichever of NULL and
// INVALID_HANDLE_VALUE it fails with, leaves either owner empty; a handle is closed when its owner
// ends.
#include "src/util/unique_handle_win32.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/row_name.hpp"

namespace vantrel::win32 {
namespace {

using test::PrintTo;

struct Call {
    const char* name;
    HANDLE (*make)();
    bool handle;  // whether the call gives a handle
};

HANDLE failed_create_file() {  // fails with INVALID_HANDLE_VALUE
    return CreateFileW(L"Z:\\vantrel-no-such-folder\\no-such-file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}
HANDLE failed_open_event() {  // fails with NULL
    return OpenEventW(EVENT_ALL_ACCESS, FALSE, L"vantrel-no-such-event");
}
HANDLE created_event() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

bool is_open(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

class HandleOwners : public testing::TestWithParam<Call> {};

TEST_P(HandleOwners, AreEmptyAfterAFailedCallAndCloseAHandle) {
    const Call& row = GetParam();
    HANDLE taken[2] = {};
    {
        const UniqueHandle handle(row.make());
        const UniqueFileHandle file(row.make());
        ASSERT_EQ(static_cast<bool>(handle), row.handle);
        ASSERT_EQ(static_cast<bool>(file), row.handle);
        if (!row.handle) {
            // Each gives back the value its APIs take for "no handle".
            EXPECT_EQ(handle.get(), nullptr);
            EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
            return;
        }
        taken[0] = handle.get();
        taken[1] = file.get();
        EXPECT_TRUE(is_open(taken[0]) && is_open(taken[1]));
    }
    EXPECT_FALSE(is_open(taken[0]));
    EXPECT_FALSE(is_open(taken[1]));
}

INSTANTIATE_TEST_SUITE_P(UniqueHandle, HandleOwners,
                         testing::Values(Call{"create_file_failed", &failed_create_file, false},
                                         Call{"open_event_failed", &failed_open_event, false},
                                         Call{"event_created", &created_event, true}),
                         test::RowName{});

// CreatePipe hands both ends back through out-parameters; each lands in its owner and is closed
// with it.
TEST(UniqueHandle, PutTakesWhatACallWrites) {
    HANDLE taken[2] = {};
    {
        UniqueHandle read;
        UniqueHandle write;
        ASSERT_TRUE(CreatePipe(read.put(), write.put(), nullptr, 0));
        taken[0] = read.get();
        taken[1] = write.get();
        EXPECT_TRUE(is_open(taken[0]) && is_open(taken[1]));
    }
    EXPECT_FALSE(is_open(taken[0]));
    EXPECT_FALSE(is_open(taken[1]));
}

}  // namespace
}  // namespace vantrel::win32
