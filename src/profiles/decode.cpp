#include "profiles/decode.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "profiles/toml_library.hpp"
#include "hal/unicode.hpp"

namespace vantrel {
namespace {

using Position = toml::source_position;

// What the report marks: from `begin` to the character before `end` (one character when `end`
// is not after `begin`).
struct Region {
    Position begin;
    Position end;
};

struct Fault {
    Region where;
    std::string message;
};

template <class T>
using Decoded = std::expected<T, Fault>;

Region region_of(const toml::source_region& source) { return {source.begin, source.end}; }

// The top-level table has no text of its own: its faults point at the start of the document.
constexpr Region DOCUMENT_START{{1, 1}, {1, 2}};

bool before(const Position& a, const Position& b) {
    return a.line < b.line || (a.line == b.line && a.column < b.column);
}

// ---------------------------------------------------------------------------------------------
// The report

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

std::string render_report(std::string_view text, const Region& where, std::string_view message) {
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
    report += message;
    return report;
}

// ---------------------------------------------------------------------------------------------
// Fault texts

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

// A text in double quotes, with quotes, backslashes and control characters escaped.
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

// Shortest text that reads back as the same double, never in exponent form, always with a
// decimal point.
std::string float_text(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    std::string text(buffer.data(), result.ptr);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

// The {found} of a fault: what the document holds at that place.
std::string found_of(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::boolean: return node.as_boolean()->get() ? "boolean `true`" : "boolean `false`";
        case toml::node_type::integer: return "integer `" + std::to_string(node.as_integer()->get()) + "`";
        case toml::node_type::floating_point: return "floating point `" + float_text(node.as_floating_point()->get()) + "`";
        case toml::node_type::string: return "string " + quoted(node.as_string()->get());
        case toml::node_type::array: return "sequence";
        default: return "map";  // tables and date-times
    }
}

Fault invalid_type(const toml::node& node, std::string_view wanted) {
    return {region_of(node.source()), "invalid type: " + found_of(node) + ", expected " + std::string(wanted)};
}

Fault invalid_value(const toml::node& node, std::string_view wanted) {
    return {region_of(node.source()), "invalid value: " + found_of(node) + ", expected " + std::string(wanted)};
}

Fault unknown_variant(const toml::node& node, std::string_view value, std::span<const std::string_view> names) {
    return {region_of(node.source()), "unknown variant " + ticked(value) + ", expected " + name_list(names)};
}

// ---------------------------------------------------------------------------------------------
// Records

struct FieldSpec {
    std::string_view name;
    bool required;
};

// Visits the keys of `table` in their byte order (the order toml++ keeps them in), converting each
// declared one with `convert(index, node)`; an undeclared key is a fault. Then the first required
// field left absent, in declaration order, is the fault. `tag` names a key that another step has
// already read (the `method` of an access table).
template <std::size_t N, class Convert>
std::optional<Fault> decode_fields(const toml::table& table, const Region& where,
                                   const std::array<FieldSpec, N>& fields, Convert&& convert,
                                   std::string_view tag = {}) {
    std::array<bool, N> seen{};
    for (auto&& [key, node] : table) {
        if (!tag.empty() && key.str() == tag) continue;
        const auto field = std::ranges::find(fields, key.str(), &FieldSpec::name);
        if (field == fields.end()) {
            std::array<std::string_view, N> names{};
            std::ranges::transform(fields, names.begin(), &FieldSpec::name);
            return Fault{region_of(key.source()),
                         "unknown field " + ticked(key.str()) + ", expected " + name_list(names)};
        }
        const auto index = static_cast<std::size_t>(field - fields.begin());
        seen[index] = true;
        if (std::optional<Fault> fault = convert(index, node)) return fault;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (fields[i].required && !seen[i]) return Fault{where, "missing field " + ticked(fields[i].name)};
    }
    return std::nullopt;
}

// Stores a conversion's value, or hands its fault on.
template <class T, class U>
std::optional<Fault> store(Decoded<U>&& decoded, T& target) {
    if (!decoded) return std::move(decoded.error());
    target = std::move(*decoded);
    return std::nullopt;
}

Decoded<std::string> to_text(const toml::node& node) {
    if (const auto* text = node.as_string()) return text->get();
    return std::unexpected(invalid_type(node, "a string"));
}

template <class T>
Decoded<T> to_unsigned(const toml::node& node, std::string_view wanted) {
    const auto* integer = node.as_integer();
    if (integer == nullptr) return std::unexpected(invalid_type(node, wanted));
    const std::int64_t value = integer->get();
    if (value < 0 || static_cast<std::uint64_t>(value) > std::numeric_limits<T>::max())
        return std::unexpected(invalid_value(node, wanted));
    return static_cast<T>(value);
}

Decoded<std::int64_t> to_i64(const toml::node& node) {
    if (const auto* integer = node.as_integer()) return integer->get();
    return std::unexpected(invalid_type(node, "i64"));
}

Decoded<std::vector<std::string>> to_text_list(const toml::node& node) {
    const auto* array = node.as_array();
    if (array == nullptr) return std::unexpected(invalid_type(node, "a sequence"));
    std::vector<std::string> list;
    list.reserve(array->size());
    for (const toml::node& element : *array) {
        Decoded<std::string> text = to_text(element);
        if (!text) return std::unexpected(std::move(text.error()));
        list.push_back(std::move(*text));
    }
    return list;
}

template <class E, std::size_t N>
Decoded<E> to_enum(const toml::node& node, std::string_view type_name,
                   const std::array<std::string_view, N>& names, const std::array<E, N>& values) {
    if (const auto* text = node.as_string()) {
        for (std::size_t i = 0; i < N; ++i) {
            if (names[i] == text->get()) return values[i];
        }
        return std::unexpected(unknown_variant(node, text->get(), names));
    }
    // The one-key table form ({ model = {} }) is not offered: a table is a type fault.
    if (node.is_table()) return std::unexpected(invalid_type(node, "enum " + std::string(type_name)));
    return std::unexpected(Fault{region_of(node.source()), "wanted string or table"});
}

constexpr std::array<std::string_view, 2> SCOPE_NAMES{"model", "family"};
constexpr std::array<ProfileScope, 2> SCOPE_VALUES{ProfileScope::Model, ProfileScope::Family};
constexpr std::array<std::string_view, 3> CONFIDENCE_NAMES{"validated", "documented", "assumed"};
constexpr std::array<Confidence, 3> CONFIDENCE_VALUES{Confidence::Validated, Confidence::Documented,
                                                      Confidence::Assumed};
constexpr std::array<std::string_view, 5> METHOD_NAMES{"msr", "ec", "wmi", "acpi", "platform_profile"};

Decoded<Matches> to_matches(const toml::node& node) {
    const auto* table = node.as_table();
    if (table == nullptr) return std::unexpected(invalid_type(node, "struct Matches"));
    static constexpr std::array<FieldSpec, 2> FIELDS{{{"mtm", false}, {"version_contains", false}}};
    Matches matches;
    const auto fault = decode_fields(*table, region_of(node.source()), FIELDS, [&](std::size_t field, const toml::node& value) {
        return store(to_text_list(value), field == 0 ? matches.mtm : matches.version_contains);
    });
    if (fault) return std::unexpected(*fault);
    return matches;
}

Decoded<Bounds> to_bounds(const toml::node& node) {
    const auto* table = node.as_table();
    if (table == nullptr) return std::unexpected(invalid_type(node, "struct Bounds"));
    static constexpr std::array<FieldSpec, 2> FIELDS{{{"min", true}, {"max", true}}};
    Bounds bounds{};
    const auto fault = decode_fields(*table, region_of(node.source()), FIELDS, [&](std::size_t field, const toml::node& value) {
        return store(to_i64(value), field == 0 ? bounds.min : bounds.max);
    });
    if (fault) return std::unexpected(*fault);
    return bounds;
}

Decoded<Access> to_access(const toml::node& node) {
    const auto* table = node.as_table();
    if (table == nullptr) return std::unexpected(invalid_type(node, "internally tagged enum Access"));
    const Region where = region_of(node.source());

    // The tag is read before any other key.
    const toml::node* method_node = table->get("method");
    if (method_node == nullptr) return std::unexpected(Fault{where, "missing field `method`"});
    const auto* method_text = method_node->as_string();
    if (method_text == nullptr) return std::unexpected(invalid_type(*method_node, "variant identifier"));
    const std::string& method = method_text->get();

    std::optional<Fault> fault;
    if (method == "msr") {
        static constexpr std::array<FieldSpec, 1> FIELDS{{{"address", true}}};
        Msr msr{};
        fault = decode_fields(*table, where, FIELDS, [&](std::size_t, const toml::node& value) {
            return store(to_unsigned<std::uint32_t>(value, "u32"), msr.address);
        }, "method");
        if (!fault) return msr;
    } else if (method == "ec") {
        static constexpr std::array<FieldSpec, 1> FIELDS{{{"offset", true}}};
        Ec ec{};
        fault = decode_fields(*table, where, FIELDS, [&](std::size_t, const toml::node& value) {
            return store(to_unsigned<std::uint8_t>(value, "u8"), ec.offset);
        }, "method");
        if (!fault) return ec;
    } else if (method == "wmi") {
        static constexpr std::array<FieldSpec, 2> FIELDS{{{"class", true}, {"property", true}}};
        Wmi wmi;
        fault = decode_fields(*table, where, FIELDS, [&](std::size_t field, const toml::node& value) {
            return store(to_text(value), field == 0 ? wmi.class_name : wmi.property);
        }, "method");
        if (!fault) return wmi;
    } else if (method == "acpi") {
        static constexpr std::array<FieldSpec, 1> FIELDS{{{"path", true}}};
        Acpi acpi;
        fault = decode_fields(*table, where, FIELDS, [&](std::size_t, const toml::node& value) {
            return store(to_text(value), acpi.path);
        }, "method");
        if (!fault) return acpi;
    } else if (method == "platform_profile") {
        // The operating system's platform profile needs no field; other keys are ignored.
        return PlatformProfile{};
    } else {
        return std::unexpected(unknown_variant(*method_node, method, METHOD_NAMES));
    }
    return std::unexpected(*fault);
}

Decoded<Capability> to_capability(const toml::node& node) {
    const auto* table = node.as_table();
    if (table == nullptr) return std::unexpected(invalid_type(node, "struct Capability"));
    static constexpr std::array<FieldSpec, 8> FIELDS{{
        {"id", true},
        {"label", true},
        {"access", true},
        {"confidence", true},
        {"sources", true},
        {"validated_on", false},
        {"bounds", false},
        {"notes", false},
    }};
    Capability capability{.id = {},
                          .label = {},
                          .access = PlatformProfile{},
                          .confidence = Confidence::Assumed,
                          .sources = {},
                          .validated_on = {},
                          .bounds = {},
                          .notes = {}};
    const auto fault = decode_fields(*table, region_of(node.source()), FIELDS, [&](std::size_t field, const toml::node& value) -> std::optional<Fault> {
        switch (field) {
            case 0: return store(to_text(value), capability.id);
            case 1: return store(to_text(value), capability.label);
            case 2: return store(to_access(value), capability.access);
            case 3: return store(to_enum(value, "Confidence", CONFIDENCE_NAMES, CONFIDENCE_VALUES), capability.confidence);
            case 4: return store(to_text_list(value), capability.sources);
            case 5: return store(to_text(value), capability.validated_on);
            case 6: return store(to_bounds(value), capability.bounds);
            default: return store(to_text(value), capability.notes);
        }
    });
    if (fault) return std::unexpected(*fault);
    return capability;
}

Decoded<std::vector<Capability>> to_capabilities(const toml::node& node) {
    const auto* array = node.as_array();
    if (array == nullptr) return std::unexpected(invalid_type(node, "a sequence"));
    std::vector<Capability> capabilities;
    capabilities.reserve(array->size());
    for (const toml::node& element : *array) {
        Decoded<Capability> capability = to_capability(element);
        if (!capability) return std::unexpected(std::move(capability.error()));
        capabilities.push_back(std::move(*capability));
    }
    return capabilities;
}

Decoded<MachineProfile> to_profile(const toml::table& root) {
    static constexpr std::array<FieldSpec, 6> FIELDS{{
        {"schema_version", true},
        {"id", true},
        {"display_name", true},
        {"scope", true},
        {"matches", true},
        {"capabilities", false},
    }};
    MachineProfile profile{.schema_version = 0,
                           .id = {},
                           .display_name = {},
                           .scope = ProfileScope::Model,
                           .matches = {},
                           .capabilities = {}};
    const auto fault = decode_fields(root, DOCUMENT_START, FIELDS, [&](std::size_t field, const toml::node& value) -> std::optional<Fault> {
        switch (field) {
            case 0: return store(to_unsigned<std::uint32_t>(value, "u32"), profile.schema_version);
            case 1: return store(to_text(value), profile.id);
            case 2: return store(to_text(value), profile.display_name);
            case 3: return store(to_enum(value, "ProfileScope", SCOPE_NAMES, SCOPE_VALUES), profile.scope);
            case 4: return store(to_matches(value), profile.matches);
            default: return store(to_capabilities(value), profile.capabilities);
        }
    });
    if (fault) return std::unexpected(*fault);
    return profile;
}

// ---------------------------------------------------------------------------------------------
// TOML 1.1 only. toml++'s unreleased mode also reads bare keys with '+' or non-ASCII letters and
// hexadecimal floats, which TOML 1.1 does not have; they are syntax faults here.

// To go between toml++'s positions (lines split at line feeds, columns counted in code points)
// and byte offsets. A lookup starts from the nearest checkpoint, one every STRIDE characters, so
// that it costs the same on a long line as on a short one and the index stays a fraction of the
// text's size, whatever its shape.
class LineIndex {
public:
    explicit LineIndex(std::string_view text) : text_(text) {
        Checkpoint at{0, 1, 1};
        for (std::size_t character = 0; at.offset < text.size(); ++character) {
            if (character % STRIDE == 0) checkpoints_.push_back(at);
            step(at);
        }
        if (checkpoints_.empty()) checkpoints_.push_back(at);
    }

    [[nodiscard]] std::size_t offset_of(const Position& position) const {
        const auto next = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), position,
                                           [](const Position& p, const Checkpoint& c) {
                                               return before(p, {c.line, c.column});
                                           });
        if (next == checkpoints_.begin()) return text_.size();
        Checkpoint at = *std::prev(next);
        while (at.offset < text_.size() && before({at.line, at.column}, position)) {
            if (text_[at.offset] == '\n' && at.line == position.line) break;
            step(at);
        }
        return at.offset;
    }

    [[nodiscard]] Position position_of(std::size_t offset) const {
        const auto next = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), offset,
                                           [](std::size_t o, const Checkpoint& c) { return o < c.offset; });
        Checkpoint at = *std::prev(next);
        while (at.offset < offset && at.offset < text_.size()) step(at);
        return {at.line, at.column};
    }

private:
    static constexpr std::size_t STRIDE = 64;

    struct Checkpoint {
        std::size_t offset;
        toml::source_index line;
        toml::source_index column;
    };

    // Past one character: a scalar value, or one byte of an ill-formed sequence.
    void step(Checkpoint& at) const {
        const char c = text_[at.offset];
        const std::size_t start = at.offset;
        if (static_cast<unsigned char>(c) < 0x80 || !next_scalar(text_, at.offset)) at.offset = start + 1;
        if (c == '\n') {
            ++at.line;
            at.column = 1;
        } else {
            ++at.column;
        }
    }

    std::string_view text_;
    std::vector<Checkpoint> checkpoints_;
};

bool is_bare_key_byte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

Fault bare_key_fault(const Position& at, std::string_view character) {
    return {{at, at},
            "Error while parsing key: bare keys may only contain ASCII letters, ASCII digits, underscores "
            "and dashes, saw '" + std::string(character) + "'"};
}

// Past the string that opens at `pos`. In a document toml++ has not read yet the string may be
// left open: it then ends with its line (single-line) or with the text (multi-line).
std::size_t skip_string(std::string_view text, std::size_t pos) {
    const char quote = text[pos];
    const bool basic = quote == '"';
    const std::string_view triple = basic ? std::string_view("\"\"\"") : std::string_view("'''");
    const bool multi_line = text.substr(pos, 3) == triple;
    pos += multi_line ? 3 : 1;
    while (pos < text.size()) {
        const char c = text[pos];
        if (basic && c == '\\') {
            pos += 2;
        } else if (c == quote && (!multi_line || text.substr(pos, 3) == triple)) {
            // Up to two more quotes right before the closing ones belong to the string.
            std::size_t end = pos + 1;
            while (multi_line && end < text.size() && end < pos + 5 && text[end] == quote) ++end;
            return end;
        } else if (c == '\n' && !multi_line) {
            return pos;
        } else {
            ++pos;
        }
    }
    return pos;
}

// The first non-ASCII character outside strings and comments: toml++ accepts none there but the
// letters of a bare key.
std::optional<Fault> find_non_ascii_key(std::string_view text, const LineIndex& lines) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '#') {
            pos = text.find('\n', pos);
            if (pos == std::string_view::npos) return std::nullopt;
        } else if (c == '"' || c == '\'') {
            pos = skip_string(text, pos);
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            std::size_t end = pos;
            if (!next_scalar(text, end)) end = pos + 1;
            return bare_key_fault(lines.position_of(pos), text.substr(pos, end - pos));
        } else {
            ++pos;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Limits, checked on the text before anything parses it.
// - Nesting: toml++ recurses once per nested array or inline table, and the node tree is visited
//   and destroyed recursively, so a deep document would overflow the stack (the main thread's
//   stack is small under Wine). Every part of a table header or key, every `[[...]]`, array and
//   inline table counts one level; the tree is at most twice as deep as the count, when every
//   part of a header is an array of tables. Real profiles need five.
// - Tables: toml++ looks a table named by a header or a dotted key up in lists of all such tables
//   met so far, which makes their number cost its square. Every part of a table header and every
//   part but the last of a dotted key names one. Real profiles name a few dozen.

constexpr std::size_t MAX_NESTING = 100;
constexpr std::size_t MAX_TABLES = 10000;

bool ends_bare_key(char c) {
    return c == '=' || c == '.' || c == '[' || c == ']' || c == '{' || c == '}' || c == ',' || c == '#' ||
           c == '"' || c == '\'' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Excess {
    std::size_t offset;
    std::string message;
};

// Follows TOML's structure (strings, comments, keys, values) without judging it: toml++ reports
// the syntax faults.
class LimitScan {
public:
    explicit LimitScan(std::string_view text) : text_(text) {}

    std::optional<Excess> first_excess() {
        while (pos_ < text_.size() && !excess_) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '#') {
                pos_ = std::min(text_.find('\n', pos_), text_.size());
            } else if (c == '\n') {
                ++pos_;
                if (open_.empty()) expecting_key_ = true;
            } else if (expecting_key_ && open_.empty() && c == '[') {
                const bool array = text_.substr(pos_, 2) == "[[";
                pos_ += array ? 2 : 1;
                read_key(array ? 1 : 0, true);
                table_depth_ = key_depth_;
                expecting_key_ = false;
            } else if (c == ']' || c == '}') {
                ++pos_;
                if (!open_.empty()) open_.pop_back();
                expecting_key_ = false;
                value_depth_ = open_.empty() ? table_depth_ : open_.back().depth;
            } else if (c == ',') {
                ++pos_;
                expecting_key_ = !open_.empty() && open_.back().bracket == '{';
                if (!open_.empty()) value_depth_ = open_.back().depth;
            } else if (expecting_key_) {
                const bool read = read_key(open_.empty() ? table_depth_ : open_.back().depth, false);
                if (pos_ < text_.size() && text_[pos_] == '=') {
                    ++pos_;
                    expecting_key_ = false;
                    value_depth_ = key_depth_;
                } else if (!read) {
                    ++pos_;
                }
            } else if (c == '"' || c == '\'') {
                pos_ = skip_string(text_, pos_);
            } else if (c == '[' || c == '{') {
                const std::size_t depth = value_depth_ + 1;
                if (depth > MAX_NESTING) {
                    too_deep(pos_, c == '[' ? "array" : "inline table");
                    break;
                }
                open_.push_back({c, depth});
                value_depth_ = depth;
                expecting_key_ = c == '{';
                ++pos_;
            } else {
                ++pos_;
            }
        }
        return excess_;
    }

private:
    struct Open {
        char bracket;
        std::size_t depth;  // of what it holds
    };

    // Reads the parts of a key from `pos_`, each one level below `depth`, and counts the tables
    // they name; false when there was no key.
    bool read_key(std::size_t depth, bool header) {
        const std::string_view what = header ? "table header" : "key";
        key_depth_ = depth;
        std::optional<std::size_t> previous;  // where the part before this one started
        while (true) {
            while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
            const std::size_t start = pos_;
            if (start < text_.size() && (text_[start] == '"' || text_[start] == '\'')) {
                pos_ = skip_string(text_, pos_);
            } else {
                while (pos_ < text_.size() && !ends_bare_key(text_[pos_])) ++pos_;
                if (pos_ == start) return previous.has_value();
            }
            if (++key_depth_ > MAX_NESTING) {
                too_deep(start, what);
                return true;
            }
            // A key-value's part names a table once another part follows it.
            const std::optional<std::size_t> table = header ? std::optional(start) : previous;
            if (table && ++tables_ > MAX_TABLES) {
                excess_ = Excess{*table, "Error while parsing " + std::string(what) + ": more than " +
                                             std::to_string(MAX_TABLES) + " tables"};
                return true;
            }
            previous = start;
            while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
            if (pos_ >= text_.size() || text_[pos_] != '.') return true;
            ++pos_;
        }
    }

    void too_deep(std::size_t offset, std::string_view what) {
        excess_ = Excess{offset, "Error while parsing " + std::string(what) + ": nested deeper than " +
                                     std::to_string(MAX_NESTING) + " levels"};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool expecting_key_ = true;
    std::size_t table_depth_ = 0;
    std::size_t key_depth_ = 0;
    std::size_t value_depth_ = 0;
    std::size_t tables_ = 0;
    std::vector<Open> open_;
    std::optional<Excess> excess_;
};

std::optional<Fault> find_excess(std::string_view text) {
    std::optional<Excess> excess = LimitScan(text).first_excess();
    if (!excess) return std::nullopt;
    const Position at = LineIndex(text).position_of(excess->offset);
    return Fault{{at, at}, std::move(excess->message)};
}

class SyntaxCheck {
public:
    SyntaxCheck(std::string_view text, const LineIndex& lines) : text_(text), lines_(lines) {}

    void visit(const toml::node& node) {
        if (const auto* table = node.as_table()) {
            for (auto&& [key, value] : *table) {
                check_key(key);
                visit(value);
            }
        } else if (const auto* array = node.as_array()) {
            for (const toml::node& element : *array) visit(element);
        } else if (node.is_floating_point()) {
            check_float(node);
        }
    }

    void offer(std::optional<Fault> fault) {
        if (fault && (!first_ || before(fault->where.begin, first_->where.begin))) first_ = std::move(fault);
    }

    [[nodiscard]] std::optional<Fault> first() const { return first_; }

private:
    void check_key(const toml::key& key) {
        const Position begin = key.source().begin;
        const std::size_t offset = lines_.offset_of(begin);
        if (offset < text_.size() && (text_[offset] == '"' || text_[offset] == '\'')) return;
        const std::string_view name = key.str();
        std::size_t pos = 0;
        toml::source_index column = begin.column;
        while (pos < name.size()) {
            const std::size_t start = pos;
            if (!next_scalar(name, pos)) pos = start + 1;
            if (pos - start != 1 || !is_bare_key_byte(name[start])) {
                offer(bare_key_fault({begin.line, column}, name.substr(start, pos - start)));
                return;
            }
            ++column;
        }
    }

    void check_float(const toml::node& node) {
        std::size_t offset = lines_.offset_of(node.source().begin);
        if (offset < text_.size() && (text_[offset] == '+' || text_[offset] == '-')) ++offset;
        const std::string_view digits = text_.substr(std::min(offset, text_.size()));
        if (digits.starts_with("0x") || digits.starts_with("0X")) {
            offer(Fault{{node.source().begin, node.source().begin},
                        "Error while parsing floating-point: hexadecimal floating-point values are not "
                        "supported in TOML"});
        }
    }

    std::string_view text_;
    const LineIndex& lines_;
    std::optional<Fault> first_;
};

std::optional<Fault> find_non_toml_1_1(std::string_view text, const toml::table& root) {
    const LineIndex lines(text);
    SyntaxCheck check(text, lines);
    check.visit(root);
    // A key's own check says more than the scan does, so it wins at the same position.
    if (std::optional<Fault> scanned = find_non_ascii_key(text, lines)) check.offer(std::move(scanned));
    return check.first();
}

}  // namespace

std::expected<MachineProfile, std::string> decode_profile(std::string_view text) {
    if (text.starts_with(UTF8_BYTE_ORDER_MARK)) text.remove_prefix(UTF8_BYTE_ORDER_MARK.size());

    if (std::optional<Fault> fault = find_excess(text))
        return std::unexpected(render_report(text, fault->where, fault->message));

    const toml::parse_result parsed = toml::parse(text);
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        return std::unexpected(render_report(text, region_of(error.source()), error.description()));
    }
    if (std::optional<Fault> fault = find_non_toml_1_1(text, parsed.table()))
        return std::unexpected(render_report(text, fault->where, fault->message));

    Decoded<MachineProfile> profile = to_profile(parsed.table());
    if (!profile) return std::unexpected(render_report(text, profile.error().where, profile.error().message));
    return std::move(*profile);
}

}  // namespace vantrel
