#pragma once
// One machine profile as decoded from its TOML file. Fields are in declaration order, which is
// also the order in which missing keys are reported.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vantrel {

enum class ProfileScope { Model, Family };

// One value of an enumeration and the name a profile writes it with.
template <class E>
struct NamedValue {
    std::string_view name;
    E value;
};

// The names of the scopes: the decoder reads them, the profile listing shows them.
inline constexpr std::array<NamedValue<ProfileScope>, 2> SCOPE_NAMES{{
    {"model", ProfileScope::Model},
    {"family", ProfileScope::Family},
}};

[[nodiscard]] constexpr std::string_view scope_name(ProfileScope scope) {
    for (const auto& [name, value] : SCOPE_NAMES)
        if (value == scope) return name;
    return {};
}

enum class Confidence { Validated, Documented, Assumed };

struct Matches {
    std::vector<std::string> mtm;
    std::vector<std::string> version_contains;

    friend bool operator==(const Matches&, const Matches&) = default;
};

struct Bounds {
    std::int64_t min;
    std::int64_t max;

    friend bool operator==(const Bounds&, const Bounds&) = default;
};

// The ways a capability is reached, selected by the key `method`.
struct Msr {
    std::uint32_t address;
    friend bool operator==(const Msr&, const Msr&) = default;
};
struct Ec {
    std::uint8_t offset;
    friend bool operator==(const Ec&, const Ec&) = default;
};
struct Wmi {
    std::string class_name;  // key `class`
    std::string property;
    friend bool operator==(const Wmi&, const Wmi&) = default;
};
struct Acpi {
    std::string path;
    friend bool operator==(const Acpi&, const Acpi&) = default;
};
struct PlatformProfile {
    friend bool operator==(const PlatformProfile&, const PlatformProfile&) = default;
};

using Access = std::variant<Msr, Ec, Wmi, Acpi, PlatformProfile>;

struct Capability {
    std::string id;
    std::string label;
    Access access;
    Confidence confidence;
    std::vector<std::string> sources;
    std::optional<std::string> validated_on;
    std::optional<Bounds> bounds;
    std::optional<std::string> notes;

    friend bool operator==(const Capability&, const Capability&) = default;
};

struct MachineProfile {
    std::uint32_t schema_version;
    std::string id;
    std::string display_name;
    ProfileScope scope;
    Matches matches;
    std::vector<Capability> capabilities;

    friend bool operator==(const MachineProfile&, const MachineProfile&) = default;
};

}  // namespace vantrel
