#include "src/util/unicode.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vantrel {
namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";

// Length of the well-formed prefix of the sequence starting at `pos` (0 when the lead byte is
// invalid), and whether it is complete. Bounds for second bytes follow Unicode Table 3-7.
struct SequenceScan {
    std::size_t valid_bytes;
    bool complete;
};

SequenceScan scan_sequence(std::string_view s, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t needed = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) return {1, true};
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return {0, false};
    }
    std::size_t i = 1;
    for (; i <= needed; ++i) {
        if (pos + i >= s.size()) return {i, false};
        const auto b = static_cast<unsigned char>(s[pos + i]);
        const unsigned char lo = i == 1 ? low : 0x80;
        const unsigned char hi = i == 1 ? high : 0xBF;
        if (b < lo || b > hi) return {i, false};
    }
    return {i, true};
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::string decode_utf16_lossy(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char32_t unit = utf16[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (utf16[++i] - 0xDC00));
        } else {
            append_utf8(out, unit >= 0xD800 && unit <= 0xDFFF ? U'\uFFFD' : unit);
        }
    }
    return out;
}

std::string decode_utf8_lossy(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const SequenceScan scan = scan_sequence(bytes, pos);
        if (scan.complete) {
            text.append(bytes.substr(pos, scan.valid_bytes));
            pos += scan.valid_bytes;
        } else {
            // The maximal subpart (at least the offending lead byte) becomes one U+FFFD.
            text.append(REPLACEMENT);
            pos += scan.valid_bytes == 0 ? 1 : scan.valid_bytes;
        }
    }
    return text;
}

bool is_valid_utf8(std::string_view bytes) {
    // Profiles are nearly all ASCII: eight bytes without a high bit are passed over at once.
    constexpr std::uint64_t HIGH_BITS = 0x8080808080808080U;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::uint64_t block = 0;
        if (bytes.size() - pos >= sizeof block) {
            std::memcpy(&block, bytes.data() + pos, sizeof block);
            if ((block & HIGH_BITS) == 0) {
                pos += sizeof block;
                continue;
            }
        }
        const SequenceScan scan = scan_sequence(bytes, pos);
        if (!scan.complete) return false;
        pos += scan.valid_bytes;
    }
    return true;
}

std::optional<char32_t> next_scalar(std::string_view utf8, std::size_t& pos) {
    if (pos >= utf8.size()) return std::nullopt;
    const SequenceScan scan = scan_sequence(utf8, pos);
    if (!scan.complete) return std::nullopt;
    const auto lead = static_cast<unsigned char>(utf8[pos]);
    char32_t c = scan.valid_bytes == 1 ? lead
               : scan.valid_bytes == 2 ? (lead & 0x1F)
               : scan.valid_bytes == 3 ? (lead & 0x0F)
                                       : (lead & 0x07);
    for (std::size_t i = 1; i < scan.valid_bytes; ++i)
        c = (c << 6) | (static_cast<unsigned char>(utf8[pos + i]) & 0x3F);
    pos += scan.valid_bytes;
    return c;
}

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

std::string_view trim_white_space(std::string_view utf8) {
    std::size_t begin = 0;
    std::size_t end = 0;  // one past the last non-white-space character seen
    bool seen_text = false;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        const auto c = next_scalar(utf8, pos);
        if (!c) {  // ill-formed input is never white space
            pos = start + 1;
        } else if (is_white_space(*c)) {
            continue;
        }
        if (!seen_text) begin = start;
        seen_text = true;
        end = pos;
    }
    return seen_text ? utf8.substr(begin, end - begin) : std::string_view();
}

bool is_blank(std::string_view utf8) { return trim_white_space(utf8).empty(); }

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = ascii_lower(c);
    return lower;
}

bool ascii_iequals(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

}  // namespace vantrel
