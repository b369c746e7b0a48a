#pragma once
// UTF-8 and the few Unicode properties the system needs: decoding of untrusted bytes, the
// White_Space set for trimming and blankness, and ASCII-only case folding.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// UTF-8's byte-order mark, U+FEFF; not white space, so readers that skip it say nothing of it.
inline constexpr std::string_view UTF8_BYTE_ORDER_MARK = "\xEF\xBB\xBF";

// Decodes bytes as UTF-8, replacing every maximal subpart of an ill-formed sequence by U+FFFD,
// as the WHATWG decoder and Python's "replace" handler do.
[[nodiscard]] std::string decode_utf8_lossy(std::string_view bytes);

// UTF-16 as UTF-8, each lone surrogate replaced by U+FFFD: Windows accepts such names (a path
// given back by the system), which no UTF-8 can hold.
[[nodiscard]] std::string decode_utf16_lossy(std::u16string_view utf16);

// True when the bytes are well-formed UTF-8 (no surrogates, no overlong forms, at most U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view bytes);

// The next scalar value of well-formed UTF-8 at `pos`, advancing `pos`; absent at the end or on
// an ill-formed sequence (then `pos` is unchanged).
[[nodiscard]] std::optional<char32_t> next_scalar(std::string_view utf8, std::size_t& pos);

// The Unicode White_Space property (25 code points).
[[nodiscard]] bool is_white_space(char32_t c);

// Trims White_Space characters from both ends of well-formed UTF-8.
[[nodiscard]] std::string_view trim_white_space(std::string_view utf8);

// True when the text is empty or only White_Space.
[[nodiscard]] bool is_blank(std::string_view utf8);

// ASCII classes and case, byte by byte: a byte of 0x80 or more (every byte of a character outside
// ASCII in UTF-8) is neither digit nor letter and is left as it is.
[[nodiscard]] constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
[[nodiscard]] constexpr bool is_ascii_upper(char c) { return c >= 'A' && c <= 'Z'; }
[[nodiscard]] constexpr bool is_ascii_lower(char c) { return c >= 'a' && c <= 'z'; }
[[nodiscard]] constexpr bool is_ascii_alnum(char c) { return is_ascii_digit(c) || is_ascii_upper(c) || is_ascii_lower(c); }
[[nodiscard]] constexpr char ascii_lower(char c) { return is_ascii_upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
[[nodiscard]] constexpr char ascii_upper(char c) { return is_ascii_lower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

// Folds A-Z to a-z and leaves every other byte as it is.
[[nodiscard]] std::string ascii_lower(std::string_view text);

// Whole-text comparison after folding the ASCII letters only.
[[nodiscard]] bool ascii_iequals(std::string_view a, std::string_view b);

}  // namespace vantrel
