#pragma once
// A decoding fault: where it is in the document, its message, and the report that shows it. The
// report and the message texts read like toml++'s own, so that a fault met while converting the
// parsed tables looks like a syntax fault.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

// 1-based. Lines are split at line feeds and columns count characters, as toml++ counts them.
struct TextPosition {
    std::uint32_t line;
    std::uint32_t column;
};

// What the report marks: from `begin` to the character before `end` (one character when `end`
// is not after `begin`).
struct Region {
    TextPosition begin;
    TextPosition end;
};

struct Fault {
    Region where;
    std::string message;
};

// "TOML parse error at line L, column C", the offending line with a marker under the offending
// part, and the message as the last line.
[[nodiscard]] std::string render_report(std::string_view text, const Fault& fault);

// The messages of the faults met while converting tables into records. {found} describes the
// value met (see quoted and float_text), {wanted} names the type the key asks for.
[[nodiscard]] std::string missing_field_message(std::string_view key);
[[nodiscard]] std::string unknown_field_message(std::string_view key, std::span<const std::string_view> keys);
[[nodiscard]] std::string invalid_type_message(std::string_view found, std::string_view wanted);
[[nodiscard]] std::string invalid_value_message(std::string_view found, std::string_view wanted);
[[nodiscard]] std::string unknown_variant_message(std::string_view value, std::span<const std::string_view> values);

// A text in double quotes, with quotes, backslashes and control characters escaped.
[[nodiscard]] std::string quoted(std::string_view text);

// Shortest text that reads back as the same double, never in exponent form, always with a
// decimal point.
[[nodiscard]] std::string float_text(double value);

}  // namespace vantrel
