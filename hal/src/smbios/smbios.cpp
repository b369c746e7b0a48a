#include "hal/src/smbios/smbios.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>

#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

constexpr std::uint8_t TYPE_BIOS = 0;
constexpr std::uint8_t TYPE_SYSTEM = 1;
constexpr std::uint8_t TYPE_BASEBOARD = 2;
constexpr std::uint8_t TYPE_END_OF_TABLE = 127;
constexpr std::size_t HEADER_LENGTH = 4;  // type, length, handle

// Where each extracted string's number sits. A field is read only when the formatted area
// reaches its offset: older SMBIOS versions have shorter structures (type 1 gained Family in 2.4).
struct FieldSpot {
    std::uint8_t type;
    std::size_t offset;
    std::optional<std::string> SmbiosFields::* field;
};

constexpr std::array<FieldSpot, 8> FIELD_SPOTS{{
    {TYPE_BIOS, 0x04, &SmbiosFields::bios_vendor},
    {TYPE_BIOS, 0x05, &SmbiosFields::bios_version},
    {TYPE_BIOS, 0x08, &SmbiosFields::bios_release_date},
    {TYPE_SYSTEM, 0x04, &SmbiosFields::system_manufacturer},
    {TYPE_SYSTEM, 0x05, &SmbiosFields::system_product_name},
    {TYPE_SYSTEM, 0x06, &SmbiosFields::system_version},
    {TYPE_SYSTEM, 0x1A, &SmbiosFields::system_family},
    {TYPE_BASEBOARD, 0x05, &SmbiosFields::baseboard_product},
}};

std::string_view as_chars(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The n-th (from 1) NUL-separated piece of a string set, or absent when there are fewer pieces.
std::optional<std::string_view> nth_string(std::string_view strings, std::size_t number) {
    if (number == 0 || strings.empty()) return std::nullopt;
    std::size_t begin = 0;
    for (std::size_t n = 1;; ++n) {
        const std::size_t end = std::min(strings.find('\0', begin), strings.size());
        if (n == number) return strings.substr(begin, end - begin);
        if (end == strings.size()) return std::nullopt;
        begin = end + 1;
    }
}

HalError invalid_structure(std::size_t offset) {
    return {HalErrorKind::InvalidData, "structure SMBIOS invalide à l'offset " + std::to_string(offset)};
}

HalError unterminated_strings() {
    return {HalErrorKind::InvalidData, "section de chaînes SMBIOS non terminée"};
}

// Position of the first byte of the first NUL pair at or after `from`, if the table has one.
std::optional<std::size_t> find_nul_pair(std::span<const std::uint8_t> table, std::size_t from) {
    const std::size_t size = table.size();
    std::size_t pos = from;
    while (pos + 1 < size) {
        const void* hit = std::memchr(table.data() + pos, 0, size - 1 - pos);
        if (hit == nullptr) return std::nullopt;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - table.data());
        if (table[pos + 1] == 0) return pos;
        pos += 2;  // table[pos + 1] is not NUL, so no pair can start there either
    }
    return std::nullopt;
}

}  // namespace

std::expected<SmbiosFields, HalError> parse_smbios(std::span<const std::uint8_t> table) {
    SmbiosFields fields;
    std::array<bool, 3> already_read{};  // types 0, 1 and 2
    const std::size_t size = table.size();
    std::size_t pos = 0;
    while (pos + HEADER_LENGTH <= size) {
        const std::uint8_t type = table[pos];
        const std::size_t length = table[pos + 1];
        if (length < HEADER_LENGTH || length > size - pos) return std::unexpected(invalid_structure(pos));
        const std::size_t strings_begin = pos + length;
        if (strings_begin + 1 >= size) return std::unexpected(unterminated_strings());
        const auto pair = find_nul_pair(table, strings_begin);
        if (!pair) return std::unexpected(unterminated_strings());

        if (type == TYPE_END_OF_TABLE) break;
        if (type <= TYPE_BASEBOARD && !already_read[type]) {
            already_read[type] = true;
            const std::string_view strings = as_chars(table.subspan(strings_begin, *pair - strings_begin));
            for (const FieldSpot& spot : FIELD_SPOTS) {
                if (spot.type != type || spot.offset >= length) continue;
                const auto piece = nth_string(strings, table[pos + spot.offset]);
                if (!piece) continue;
                std::string text = decode_utf8_lossy(*piece);
                const std::string_view trimmed = trim_white_space(text);
                if (trimmed.empty()) continue;
                // Most firmware strings need no trimming: keep the decoded text without a copy.
                fields.*spot.field = trimmed.size() == text.size() ? std::move(text) : std::string(trimmed);
            }
        }
        pos = *pair + 2;
    }
    return fields;
}

}  // namespace vantrel
