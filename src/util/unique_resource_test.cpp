// The owner template with a release function that records what it is given, shaped as the Win32
// handle owners are (a pointer type, NULL and the pointer -1 both meaning "no handle"): what an
// owner takes for a resource is released exactly once, what it takes for none is never released.
#include "src/util/unique_resource.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

std::vector<void*> released;
void record_release(void* resource) noexcept { released.push_back(resource); }

constexpr std::intptr_t MINUS_ONE = -1;
// As UniqueHandle and UniqueFileHandle: either failure value is empty; each gives back its own.
using NullFirst = UniqueResource<void*, &record_release, nullptr, MINUS_ONE>;
using MinusOneFirst = UniqueResource<void*, &record_release, MINUS_ONE, nullptr>;

void* as_handle(std::intptr_t value) { return reinterpret_cast<void*>(value); }

struct Taken {
    const char* name;
    std::intptr_t value;  // what a call gave back
    bool owned;           // whether it is a resource
};

class OwnerTakes : public testing::TestWithParam<Taken> {
protected:
    void SetUp() override { released.clear(); }
};

// Both shapes, through the ways a value comes in: the constructor and put().
TEST_P(OwnerTakes, AResourceOnlyAndReleasesItOnce) {
    const Taken& row = GetParam();
    void* const value = as_handle(row.value);
    {
        NullFirst null_first(value);
        MinusOneFirst minus_one_first;
        *minus_one_first.put() = value;
        EXPECT_EQ(static_cast<bool>(null_first), row.owned);
        EXPECT_EQ(static_cast<bool>(minus_one_first), row.owned);
        EXPECT_EQ(null_first.get(), row.owned ? value : nullptr);
        EXPECT_EQ(minus_one_first.get(), row.owned ? value : as_handle(MINUS_ONE));
    }
    const std::vector<void*> expected = row.owned ? std::vector<void*>{value, value} : std::vector<void*>{};
    EXPECT_EQ(released, expected);
}

INSTANTIATE_TEST_SUITE_P(UniqueResource, OwnerTakes,
                         testing::Values(Taken{"a_resource", 0x1234, true}, Taken{"null", 0, false},
                                         Taken{"minus_one", MINUS_ONE, false}),
                         test::RowName{});

// put() is for an owner reused across calls: what it held goes before the call writes.
TEST(UniqueResource, PutReleasesWhatWasHeldBeforeTheCallWrites) {
    released.clear();
    NullFirst owner(as_handle(1));
    void** slot = owner.put();
    EXPECT_EQ(released, std::vector<void*>{as_handle(1)});
    EXPECT_EQ(*slot, nullptr);
    EXPECT_FALSE(owner);
    *slot = as_handle(2);
    EXPECT_EQ(owner.get(), as_handle(2));
    owner.reset();
    EXPECT_EQ(released, (std::vector<void*>{as_handle(1), as_handle(2)}));
}

}  // namespace
}  // namespace vantrel
