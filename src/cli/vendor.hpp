#pragma once
// Vendor classification for machines no profile describes: a Lenovo ThinkPad, or a machine of
// another known laptop vendor, is worth a dynamic probe; anything else is unsupported.

#include <array>
#include <string_view>

#include "hal/src/identity.hpp"

namespace vantrel {

// Words searched for inside the lower-cased manufacturer. Lenovo is deliberately absent: only its
// ThinkPads are recognised, by is_lenovo_thinkpad.
inline constexpr std::array<std::string_view, 19> LAPTOP_VENDORS{
    "framework", "asus",    "asustek", "hp",     "hewlett-packard", "dell",    "acer",
    "msi",       "micro-star", "razer", "samsung", "lg electronics", "gigabyte", "huawei",
    "microsoft", "toshiba", "fujitsu", "panasonic", "alienware",
};

// Manufacturer exactly "lenovo" (ASCII case folded) and a model name containing "thinkpad".
[[nodiscard]] bool is_lenovo_thinkpad(const MachineIdentity& identity);

// Manufacturer containing one of LAPTOP_VENDORS (ASCII case folded), also inside another word.
[[nodiscard]] bool is_known_vendor(const MachineIdentity& identity);

}  // namespace vantrel
