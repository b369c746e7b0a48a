#include "src/util/unicode.hpp"

#include <gtest/gtest.h>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

struct LossyCase {
    const char* name;
    std::string bytes;
    std::string text;
};

class LossyDecoding : public testing::TestWithParam<LossyCase> {};

TEST_P(LossyDecoding, ReplacesEachMaximalSubpart) {
    EXPECT_EQ(decode_utf8_lossy(GetParam().bytes), GetParam().text);
    EXPECT_TRUE(is_valid_utf8(decode_utf8_lossy(GetParam().bytes)));
}

// ASCII before and after the sequence puts it at every place of the eight-byte blocks that the
// check passes over at once.
TEST_P(LossyDecoding, ValidityDoesNotDependOnWhereTheSequenceFalls) {
    const bool valid = decode_utf8_lossy(GetParam().bytes) == GetParam().bytes;
    for (std::size_t ascii = 0; ascii <= 17; ++ascii) {
        EXPECT_EQ(is_valid_utf8(std::string(ascii, 'a') + GetParam().bytes + std::string(9, 'b')), valid)
            << "after " << ascii << " ASCII bytes";
    }
}

const std::string R = "\xEF\xBF\xBD";

// The rows of Unicode's "U+FFFD substitution of maximal subparts" examples.
INSTANTIATE_TEST_SUITE_P(
    Cases, LossyDecoding,
    testing::Values(LossyCase{"Ascii", "abc", "abc"},
                    LossyCase{"ValidTwoByteSequence", "caf\xC3\xA9", "caf\xC3\xA9"},
                    LossyCase{"InvalidByte", "a\xFF" "b", "a" + R + "b"},
                    LossyCase{"TruncatedTwoByteSequence", "\xC3", R},
                    LossyCase{"TruncatedThreeByteSequence", "\xE2\x82", R},  // one subpart
                    LossyCase{"TruncatedThreeByteSequenceThenAscii", "\xE2\x82" "A", R + "A"},
                    LossyCase{"TruncatedFourByteSequence", "\xF0\x9F\x98", R},  // one subpart
                    LossyCase{"Overlong", "\xC0\xAF", R + R},  // each byte
                    LossyCase{"Surrogate", "\xED\xA0\x80", R + R + R},  // each byte
                    LossyCase{"AboveLastCodePoint", "\xF4\x90\x80\x80", R + R + R + R},  // above U+10FFFF
                    LossyCase{"LoneContinuationBytes", "\x80\xBF", R + R},
                    LossyCase{"MixedMaximalSubparts", "\xE1\x80\xE2\xF0\x91\x92\xF1\xBF\x41", R + R + R + R + "A"}),
    test::RowName{});

TEST(Utf16, EncodesEveryScalarAndReplacesLoneSurrogates) {
    EXPECT_EQ(decode_utf16_lossy(u"C:\\é\u0800\U0001F600"), "C:\\\xC3\xA9\xE0\xA0\x80\xF0\x9F\x98\x80");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0xDBFF};  // high, low, high at the end
    EXPECT_EQ(decode_utf16_lossy(std::u16string_view(lone, 5)), "a" + R + "b" + R + R);
    EXPECT_EQ(decode_utf16_lossy(u""), "");
}

TEST(WhiteSpace, TrimsTheWholeUnicodeSetButNothingElse) {
    EXPECT_EQ(trim_white_space(" \t\xC2\xA0 abc \xE3\x80\x80\n"), "abc");
    EXPECT_EQ(trim_white_space("\xE2\x80\xAF" "a b\xE2\x80\xA8"), "a b");
    EXPECT_EQ(trim_white_space("\xE2\x80\x8B" "a"), "\xE2\x80\x8B" "a");  // U+200B is not White_Space
    EXPECT_EQ(trim_white_space("\xC2\x85x\x0B"), "x");
    EXPECT_TRUE(is_blank(""));
    EXPECT_TRUE(is_blank("\xE1\x9A\x80\xE2\x80\x8A\x0C"));
    EXPECT_FALSE(is_blank("\xE2\x80\x8B"));
}

TEST(AsciiFolding, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(ascii_iequals("20AB", "20ab"));
    EXPECT_FALSE(ascii_iequals("\xC3\x89", "\xC3\xA9"));  // É and é differ
    EXPECT_FALSE(ascii_iequals("20AB", "20AB "));
    EXPECT_EQ(ascii_lower("ThinkPad É"), "thinkpad \xC3\x89");
}

// The bytes at each edge of the ASCII digits and letters, and bytes of characters outside ASCII.
struct ByteCase {
    const char* name;
    char byte;
    bool digit;
    bool alnum;
    char lower;
    char upper;
};

class AsciiByte : public testing::TestWithParam<ByteCase> {};

TEST_P(AsciiByte, ClassAndCase) {
    const ByteCase& c = GetParam();
    EXPECT_EQ(is_ascii_digit(c.byte), c.digit);
    EXPECT_EQ(is_ascii_alnum(c.byte), c.alnum);
    EXPECT_EQ(ascii_lower(c.byte), c.lower);
    EXPECT_EQ(ascii_upper(c.byte), c.upper);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, AsciiByte,
    testing::Values(ByteCase{"Slash", '/', false, false, '/', '/'}, ByteCase{"Zero", '0', true, true, '0', '0'},
                    ByteCase{"Nine", '9', true, true, '9', '9'}, ByteCase{"Colon", ':', false, false, ':', ':'},
                    ByteCase{"At", '@', false, false, '@', '@'}, ByteCase{"UpperA", 'A', false, true, 'a', 'A'},
                    ByteCase{"UpperZ", 'Z', false, true, 'z', 'Z'}, ByteCase{"Bracket", '[', false, false, '[', '['},
                    ByteCase{"Backquote", '`', false, false, '`', '`'}, ByteCase{"LowerA", 'a', false, true, 'a', 'A'},
                    ByteCase{"LowerZ", 'z', false, true, 'z', 'Z'}, ByteCase{"Brace", '{', false, false, '{', '{'},
                    // The lead byte of É and a continuation byte of é.
                    ByteCase{"LeadByte", '\xC3', false, false, '\xC3', '\xC3'},
                    ByteCase{"ContinuationByte", '\xA9', false, false, '\xA9', '\xA9'}),
    test::RowName{});

}  // namespace
}  // namespace vantrel
