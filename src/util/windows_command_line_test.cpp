#include "src/util/windows_command_line.hpp"

#include <gtest/gtest.h>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

struct Quoting {
    std::string_view name;
    std::string_view argument;
    std::string_view quoted;
};

class QuoteArgument : public testing::TestWithParam<Quoting> {};

TEST_P(QuoteArgument, SurvivesTheWindowsSplitting) {
    EXPECT_EQ(quote_windows_argument(GetParam().argument), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(WindowsCommandLine, QuoteArgument,
                         testing::Values(Quoting{"plain_word", "-Mode", "-Mode"}, Quoting{"empty", "", R"("")"},
                                         Quoting{"space", R"(C:\Program Files\V)", R"("C:\Program Files\V")"},
                                         Quoting{"trailing_backslash_quoted", R"(C:\a b\)", R"("C:\a b\\")"},
                                         Quoting{"trailing_backslash_unquoted", R"(C:\dir\)", R"(C:\dir\)"},
                                         Quoting{"quotes", R"(say "hi")", R"("say \"hi\"")"},
                                         Quoting{"backslash_before_quote", R"(a\"b)", R"("a\\\"b")"},
                                         Quoting{"tab", "tab\there", "\"tab\there\""}),
                         test::RowName{});

TEST(WindowsCommandLine, StartsWithTheProgram) {
    EXPECT_EQ(windows_command_line("powershell.exe", {"-Mode", "read", "-FrameworkDir", ""}),
              R"(powershell.exe -Mode read -FrameworkDir "")");
}

}  // namespace
}  // namespace vantrel
