#include "src/profiles/decode_report.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

std::string_view line_of(std::string_view text, std::size_t line) {
    std::size_t start = 0;
    for (std::size_t current = 1; current < line; ++current) {
        const std::size_t feed = text.find('\n', start);
        if (feed == std::string_view::npos) return {};
        start = feed + 1;
    }
    std::string_view rest = text.substr(start);
    rest = rest.substr(0, rest.find('\n'));
    if (rest.ends_with('\r')) rest.remove_suffix(1);
    return rest;
}

std::string ticked(std::string_view name) { return "`" + std::string(name) + "`"; }

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`".
std::string name_list(std::span<const std::string_view> names) {
    if (names.size() == 1) return ticked(names[0]);
    if (names.size() == 2) return ticked(names[0]) + " or " + ticked(names[1]);
    std::string list = "one of ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) list += ", ";
        list += ticked(names[i]);
    }
    return list;
}

void append_hex_escape(std::string& out, char32_t c) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string hex;
    do {
        hex.insert(hex.begin(), DIGITS[c & 0xF]);
        c >>= 4;
    } while (c != 0);
    out += "\\u{" + hex + "}";
}

}  // namespace

std::string render_report(std::string_view text, const Fault& fault) {
    const Region& where = fault.where;
    const std::size_t line_number = std::max<std::size_t>(where.begin.line, 1);
    const std::size_t column = std::max<std::size_t>(where.begin.column, 1);
    const std::string line = decode_utf8_lossy(line_of(text, line_number));

    // The marker keeps the line's tabs so that it stays under the offending part.
    std::string indent;
    std::size_t scalars = 0;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t start = pos;
        if (!next_scalar(line, pos)) pos = start + 1;
        if (scalars + 1 < column) indent += line[start] == '\t' ? '\t' : ' ';
        ++scalars;
    }
    while (indent.size() + 1 < column) indent += ' ';

    std::size_t carets = 1;
    if (where.end.line == where.begin.line && where.end.column > where.begin.column)
        carets = where.end.column - where.begin.column;
    else if (where.end.line > where.begin.line && scalars >= column)
        carets = scalars - column + 1;

    const std::string number = std::to_string(line_number);
    const std::string gutter(number.size() + 1, ' ');
    std::string report = "TOML parse error at line " + number + ", column " + std::to_string(column) + "\n";
    report += gutter + "|\n";
    report += number + " | " + line + "\n";
    report += gutter + "| " + indent + std::string(carets, '^') + "\n";
    report += fault.message;
    return report;
}

std::string missing_field_message(std::string_view key) { return "missing field " + ticked(key); }

std::string unknown_field_message(std::string_view key, std::span<const std::string_view> keys) {
    return "unknown field " + ticked(key) + ", expected " + name_list(keys);
}

std::string invalid_type_message(std::string_view found, std::string_view wanted) {
    return "invalid type: " + std::string(found) + ", expected " + std::string(wanted);
}

std::string invalid_value_message(std::string_view found, std::string_view wanted) {
    return "invalid value: " + std::string(found) + ", expected " + std::string(wanted);
}

std::string unknown_variant_message(std::string_view value, std::span<const std::string_view> values) {
    return "unknown variant " + ticked(value) + ", expected " + name_list(values);
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const std::optional<char32_t> c = next_scalar(text, pos);
        if (!c) {
            pos = start + 1;
            append_hex_escape(out, 0xFFFD);
            continue;
        }
        switch (*c) {
            case U'"': out += "\\\""; break;
            case U'\\': out += "\\\\"; break;
            case U'\n': out += "\\n"; break;
            case U'\r': out += "\\r"; break;
            case U'\t': out += "\\t"; break;
            case U'\0': out += "\\0"; break;
            default:
                if (*c < 0x20 || (*c >= 0x7F && *c <= 0x9F))
                    append_hex_escape(out, *c);
                else
                    out.append(text.substr(start, pos - start));
        }
    }
    out += '"';
    return out;
}

std::string float_text(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    std::string text(buffer.data(), result.ptr);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

}  // namespace vantrel
