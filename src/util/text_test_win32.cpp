// File names as the system gives them (UTF-16 that may hold a lone surrogate) in generalized UTF-8
// and back, and as messages show them.
#include "src/util/text_win32.hpp"

#include <gtest/gtest.h>

#include "tests/support/row_name.hpp"

namespace vantrel::win32 {
namespace {

using test::PrintTo;

struct Name {
    const char* name;
    std::wstring utf16;
    std::string generalized;  // generalized UTF-8
    std::string shown;        // as a message shows it
};

const std::string REPLACEMENT = "\xEF\xBF\xBD";

const Name NAMES[] = {
    {"ascii", L"p.toml", "p.toml", "p.toml"},
    {"accent_and_pair", L"\u00e9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80", "\xC3\xA9\xF0\x9F\x98\x80"},
    {"lone_high_between_text", std::wstring(L"a") + wchar_t(0xD800) + L"b", "a\xED\xA0\x80" "b",
     "a" + REPLACEMENT + "b"},
    {"lone_low_at_the_end", std::wstring(L"a") + wchar_t(0xDFFF), "a\xED\xBF\xBF", "a" + REPLACEMENT},
    // A low then a high surrogate is no pair: two lone ones.
    {"reversed_pair", std::wstring{wchar_t(0xDC00), wchar_t(0xD800)}, "\xED\xB0\x80\xED\xA0\x80",
     REPLACEMENT + REPLACEMENT},
};

class GeneralizedUtf8 : public testing::TestWithParam<Name> {};

TEST_P(GeneralizedUtf8, KeepsTheNameWholeAndShowsItReplaced) {
    const Name& row = GetParam();
    EXPECT_EQ(to_generalized_utf8(row.utf16), row.generalized);
    EXPECT_EQ(from_generalized_utf8(row.generalized), row.utf16);
    EXPECT_EQ(to_utf8_lossy(row.utf16), row.shown);
}

INSTANTIATE_TEST_SUITE_P(Text, GeneralizedUtf8, testing::ValuesIn(NAMES), test::RowName{});

}  // namespace
}  // namespace vantrel::win32
