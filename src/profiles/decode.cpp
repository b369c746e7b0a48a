#include "src/profiles/decode.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "src/util/unicode.hpp"
#include "src/profiles/decode_report.hpp"
#include "src/profiles/toml_library.hpp"
#include "src/profiles/toml_syntax.hpp"

namespace vantrel {
namespace {

template <class T>
using Decoded = std::expected<T, Fault>;

TextPosition position_of(const toml::source_position& position) { return {position.line, position.column}; }

Region region_of(const toml::source_region& source) { return {position_of(source.begin), position_of(source.end)}; }

// The top-level table has no text of its own: its faults point at the start of the document.
constexpr Region DOCUMENT_START{{1, 1}, {1, 2}};

// ---------------------------------------------------------------------------------------------
// Faults of one value

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
    return {region_of(node.source()), invalid_type_message(found_of(node), wanted)};
}

Fault invalid_value(const toml::node& node, std::string_view wanted) {
    return {region_of(node.source()), invalid_value_message(found_of(node), wanted)};
}

Fault unknown_variant(const toml::node& node, std::string_view value, std::span<const std::string_view> names) {
    return {region_of(node.source()), unknown_variant_message(value, names)};
}

// The names of a table's rows, in the table's order: what a fault lists as expected.
template <class Row, std::size_t N>
std::array<std::string_view, N> names_of(const std::array<Row, N>& rows) {
    std::array<std::string_view, N> names{};
    std::ranges::transform(rows, names.begin(), &Row::name);
    return names;
}

// ---------------------------------------------------------------------------------------------
// Conversions of one value

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

Decoded<std::uint32_t> to_u32(const toml::node& node) { return to_unsigned<std::uint32_t>(node, "u32"); }

Decoded<std::uint8_t> to_u8(const toml::node& node) { return to_unsigned<std::uint8_t>(node, "u8"); }

Decoded<std::int64_t> to_i64(const toml::node& node) {
    if (const auto* integer = node.as_integer()) return integer->get();
    return std::unexpected(invalid_type(node, "i64"));
}

// What a conversion yields when it succeeds.
template <auto Convert>
using ConvertedBy = typename std::invoke_result_t<decltype(Convert), const toml::node&>::value_type;

// A list written as an array, each element converted by `Convert` in order; the first element
// that fails is the fault.
template <auto Convert>
Decoded<std::vector<ConvertedBy<Convert>>> to_list(const toml::node& node) {
    const auto* array = node.as_array();
    if (array == nullptr) return std::unexpected(invalid_type(node, "a sequence"));
    std::vector<ConvertedBy<Convert>> list;
    list.reserve(array->size());
    for (const toml::node& element : *array) {
        auto converted = Convert(element);
        if (!converted) return std::unexpected(std::move(converted.error()));
        list.push_back(std::move(*converted));
    }
    return list;
}

template <class E, std::size_t N>
Decoded<E> to_enum(const toml::node& node, std::string_view wanted, const std::array<NamedValue<E>, N>& values) {
    if (const auto* text = node.as_string()) {
        const auto value = std::ranges::find(values, std::string_view(text->get()), &NamedValue<E>::name);
        if (value != values.end()) return value->value;
        return std::unexpected(unknown_variant(node, text->get(), names_of(values)));
    }
    // The one-key table form ({ model = {} }) is not offered: a table is a type fault.
    if (node.is_table()) return std::unexpected(invalid_type(node, wanted));
    return std::unexpected(Fault{region_of(node.source()), "wanted string or table"});
}

Decoded<ProfileScope> to_scope(const toml::node& node) { return to_enum(node, "enum ProfileScope", SCOPE_NAMES); }

constexpr auto CONFIDENCES = std::to_array<NamedValue<Confidence>>({
    {"validated", Confidence::Validated},
    {"documented", Confidence::Documented},
    {"assumed", Confidence::Assumed},
});

Decoded<Confidence> to_confidence(const toml::node& node) { return to_enum(node, "enum Confidence", CONFIDENCES); }

// ---------------------------------------------------------------------------------------------
// Records. Each record has one table of its keys; a row ties the key to its conversion and the
// member that receives the value. The rows follow the record's declaration; their order is the
// order in which keys are listed and missing ones reported.

enum class Presence { Required, Optional };

template <class Record>
struct Field {
    std::string_view name;
    Presence presence;
    std::optional<Fault> (*decode)(const toml::node& value, Record& record);
};

template <class MemberPointer>
struct MemberOf;
template <class Record, class Value>
struct MemberOf<Value Record::*> {
    using Owner = Record;
};

// A row's decode: the value converted by `Convert`, stored in `Member`.
template <auto Member, auto Convert>
std::optional<Fault> into(const toml::node& value, typename MemberOf<decltype(Member)>::Owner& record) {
    auto converted = Convert(value);
    if (!converted) return std::move(converted.error());
    record.*Member = std::move(*converted);
    return std::nullopt;
}

// Visits the keys of `table` in their byte order (the order toml++ keeps them in), decoding each
// declared one; an undeclared key is a fault. Then the first required key left absent, in the
// table's order, is the fault, placed at `where`. `tag` names a key that another step has already
// read (the `method` of an access table).
template <class Record, std::size_t N>
Decoded<Record> decode_record(const toml::table& table, const Region& where, const std::array<Field<Record>, N>& fields,
                              std::string_view tag = {}) {
    Record record{};
    std::array<bool, N> seen{};
    for (auto&& [key, node] : table) {
        if (!tag.empty() && key.str() == tag) continue;
        const auto field = std::ranges::find(fields, std::string_view(key.str()), &Field<Record>::name);
        if (field == fields.end())
            return std::unexpected(Fault{region_of(key.source()), unknown_field_message(key.str(), names_of(fields))});
        seen[static_cast<std::size_t>(field - fields.begin())] = true;
        if (std::optional<Fault> fault = field->decode(node, record)) return std::unexpected(std::move(*fault));
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (fields[i].presence == Presence::Required && !seen[i])
            return std::unexpected(Fault{where, missing_field_message(fields[i].name)});
    }
    return record;
}

// A record written as a table or an inline table; `wanted` names it in a type fault.
template <class Record, std::size_t N>
Decoded<Record> to_record(const toml::node& node, std::string_view wanted, const std::array<Field<Record>, N>& fields) {
    const auto* table = node.as_table();
    if (table == nullptr) return std::unexpected(invalid_type(node, wanted));
    return decode_record(*table, region_of(node.source()), fields);
}

constexpr auto MATCHES_FIELDS = std::to_array<Field<Matches>>({
    {"mtm", Presence::Optional, into<&Matches::mtm, to_list<to_text>>},
    {"version_contains", Presence::Optional, into<&Matches::version_contains, to_list<to_text>>},
});

Decoded<Matches> to_matches(const toml::node& node) { return to_record(node, "struct Matches", MATCHES_FIELDS); }

constexpr auto BOUNDS_FIELDS = std::to_array<Field<Bounds>>({
    {"min", Presence::Required, into<&Bounds::min, to_i64>},
    {"max", Presence::Required, into<&Bounds::max, to_i64>},
});

Decoded<Bounds> to_bounds(const toml::node& node) { return to_record(node, "struct Bounds", BOUNDS_FIELDS); }

// An access table names its method in this key; the other keys are the method's record.
constexpr std::string_view ACCESS_TAG = "method";

constexpr auto MSR_FIELDS = std::to_array<Field<Msr>>({
    {"address", Presence::Required, into<&Msr::address, to_u32>},
});

constexpr auto EC_FIELDS = std::to_array<Field<Ec>>({
    {"offset", Presence::Required, into<&Ec::offset, to_u8>},
});

constexpr auto WMI_FIELDS = std::to_array<Field<Wmi>>({
    {"class", Presence::Required, into<&Wmi::class_name, to_text>},
    {"property", Presence::Required, into<&Wmi::property, to_text>},
});

constexpr auto ACPI_FIELDS = std::to_array<Field<Acpi>>({
    {"path", Presence::Required, into<&Acpi::path, to_text>},
});

template <class Record, const auto& Fields>
Decoded<Access> to_method_record(const toml::table& table, const Region& where) {
    Decoded<Record> record = decode_record(table, where, Fields, ACCESS_TAG);
    if (!record) return std::unexpected(std::move(record.error()));
    return std::move(*record);
}

// The operating system's platform profile needs no field; other keys are ignored.
Decoded<Access> to_platform_profile(const toml::table&, const Region&) { return PlatformProfile{}; }

struct Method {
    std::string_view name;
    Decoded<Access> (*decode)(const toml::table& table, const Region& where);
};

constexpr auto METHODS = std::to_array<Method>({
    {"msr", to_method_record<Msr, MSR_FIELDS>},
    {"ec", to_method_record<Ec, EC_FIELDS>},
    {"wmi", to_method_record<Wmi, WMI_FIELDS>},
    {"acpi", to_method_record<Acpi, ACPI_FIELDS>},
    {"platform_profile", to_platform_profile},
});

Decoded<Access> to_access(const toml::node& node) {
    const auto* table = node.as_table();
    if (table == nullptr) return std::unexpected(invalid_type(node, "internally tagged enum Access"));
    const Region where = region_of(node.source());

    // The tag is read before any other key.
    const toml::node* tag = table->get(ACCESS_TAG);
    if (tag == nullptr) return std::unexpected(Fault{where, missing_field_message(ACCESS_TAG)});
    const auto* tag_text = tag->as_string();
    if (tag_text == nullptr) return std::unexpected(invalid_type(*tag, "variant identifier"));
    const std::string& name = tag_text->get();
    const auto method = std::ranges::find(METHODS, std::string_view(name), &Method::name);
    if (method == METHODS.end()) return std::unexpected(unknown_variant(*tag, name, names_of(METHODS)));
    return method->decode(*table, where);
}

constexpr auto CAPABILITY_FIELDS = std::to_array<Field<Capability>>({
    {"id", Presence::Required, into<&Capability::id, to_text>},
    {"label", Presence::Required, into<&Capability::label, to_text>},
    {"access", Presence::Required, into<&Capability::access, to_access>},
    {"confidence", Presence::Required, into<&Capability::confidence, to_confidence>},
    {"sources", Presence::Required, into<&Capability::sources, to_list<to_text>>},
    {"validated_on", Presence::Optional, into<&Capability::validated_on, to_text>},
    {"bounds", Presence::Optional, into<&Capability::bounds, to_bounds>},
    {"notes", Presence::Optional, into<&Capability::notes, to_text>},
});

Decoded<Capability> to_capability(const toml::node& node) {
    return to_record(node, "struct Capability", CAPABILITY_FIELDS);
}

constexpr auto PROFILE_FIELDS = std::to_array<Field<MachineProfile>>({
    {"schema_version", Presence::Required, into<&MachineProfile::schema_version, to_u32>},
    {"id", Presence::Required, into<&MachineProfile::id, to_text>},
    {"display_name", Presence::Required, into<&MachineProfile::display_name, to_text>},
    {"scope", Presence::Required, into<&MachineProfile::scope, to_scope>},
    {"matches", Presence::Required, into<&MachineProfile::matches, to_matches>},
    {"capabilities", Presence::Optional, into<&MachineProfile::capabilities, to_list<to_capability>>},
});

// ---------------------------------------------------------------------------------------------
// The TOML 1.1 check is shown what toml++ read: every key and every float, in the tree's order.
// The tree is as deep as find_excess allows, no deeper.

void show_to(Toml11Check& check, const toml::node& node) {
    if (const auto* table = node.as_table()) {
        for (auto&& [key, value] : *table) {
            check.check_key(position_of(key.source().begin), key.str());
            show_to(check, value);
        }
    } else if (const auto* array = node.as_array()) {
        for (const toml::node& element : *array) show_to(check, element);
    } else if (node.is_floating_point()) {
        check.check_float(position_of(node.source().begin));
    }
}

// The fault as the profile's error: the report of the whole text.
ProfileError reported(std::string_view text, const Fault& fault) { return toml_error(render_report(text, fault)); }

}  // namespace

std::expected<MachineProfile, ProfileError> decode_profile(std::string_view text) {
    if (text.starts_with(UTF8_BYTE_ORDER_MARK)) text.remove_prefix(UTF8_BYTE_ORDER_MARK.size());

    if (std::optional<Fault> fault = find_excess(text)) return std::unexpected(reported(text, *fault));

    toml::parse_result parsed = toml::parse(without_comment_text(text));
    // A failure is reported as the whole text gives it, so that no report depends on what the
    // comments held.
    if (!parsed) parsed = toml::parse(text);
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        return std::unexpected(reported(text, Fault{region_of(error.source()), std::string(error.description())}));
    }
    Toml11Check check(text);
    show_to(check, parsed.table());
    if (std::optional<Fault> fault = check.first_fault()) return std::unexpected(reported(text, *fault));

    Decoded<MachineProfile> profile = decode_record(parsed.table(), DOCUMENT_START, PROFILE_FIELDS);
    if (!profile) return std::unexpected(reported(text, profile.error()));
    return std::move(*profile);
}

}  // namespace vantrel
