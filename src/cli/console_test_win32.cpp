// Where the console stream cuts its text between two writes: never inside a surrogate pair, which
// Windows' console would show as two replacement characters. (Wine's console keeps each UTF-16 unit
// in its own cell, so a cut pair reads back whole there and only this test can see the cut.)
#include "src/cli/console_win32.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vantrel::win32 {
namespace {

struct Row {
    const char* name;
    std::wstring text;
    std::size_t limit;
    std::size_t length;
};

TEST(ConsoleWriteLength, NeverEndsBetweenTheHalvesOfAPair) {
    const Row rows[] = {
        {"text_within_the_limit", L"a\U0001F600b", 8, 4},
        {"plain_text_over_the_limit", L"abcd", 3, 3},
        {"pair_ending_at_the_limit", L"a\U0001F600b", 3, 3},
        {"pair_across_the_limit", L"ab\U0001F600", 3, 2},
        {"pair_wider_than_the_limit_still_moves_on", L"\U0001F600", 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(console_write_length(row.text, row.limit), row.length);
    }
}

}  // namespace
}  // namespace vantrel::win32
