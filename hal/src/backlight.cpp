#include "hal/src/backlight.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "src/util/unicode.hpp"

namespace vantrel {

namespace {

using Json = nlohmann::json;

constexpr std::array<std::pair<BacklightSource, std::string_view>, 4> SOURCE_NAMES{{
    {BacklightSource::Hid, "hid"},
    {BacklightSource::LenovoWmi, "lenovo-wmi"},
    {BacklightSource::ThinkpadPm, "thinkpad-pm"},
    {BacklightSource::Framework, "framework"},
}};

// The record's fields as read here; "verified" and any other key are not.
struct KeyboardJson {
    bool available;
    bool known;
    std::uint8_t level;
    std::uint8_t max_level;
    std::string source;
    bool applied;
    std::string reason;
};

HalError unreadable(std::string_view description) {
    std::string message = "réponse de rétroéclairage illisible : ";
    message += description;
    return HalError::invalid_data(std::move(message));
}

std::string in_guillemets(std::string_view key) {
    std::string text = "« ";
    text += key;
    text += " »";
    return text;
}

// nlohmann keeps the last of two equal keys without a word, so the parse callback watches every
// object's keys itself and remembers the first one given twice.
class DuplicateKeyWatch {
public:
    bool operator()(int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start: open_.emplace_back(); break;
            case Json::parse_event_t::object_end:
                if (!open_.empty()) open_.pop_back();
                break;
            case Json::parse_event_t::key:
                if (!open_.empty() && !open_.back().insert(parsed.get<std::string>()).second && !duplicate_) {
                    duplicate_ = parsed.get<std::string>();
                }
                break;
            default: break;
        }
        return true;
    }
    [[nodiscard]] const std::optional<std::string>& duplicate() const { return duplicate_; }

private:
    std::vector<std::set<std::string>> open_;
    std::optional<std::string> duplicate_;
};

std::expected<bool, HalError> boolean_field(const Json& record, std::string_view key) {
    const auto found = record.find(key);
    if (found == record.end()) return std::unexpected(unreadable("clé " + in_guillemets(key) + " manquante"));
    if (!found->is_boolean()) return std::unexpected(unreadable(in_guillemets(key) + " n'est pas un booléen"));
    return found->get<bool>();
}

std::expected<std::uint8_t, HalError> byte_field(const Json& record, std::string_view key) {
    const auto found = record.find(key);
    if (found == record.end()) return std::unexpected(unreadable("clé " + in_guillemets(key) + " manquante"));
    const bool in_range = (found->is_number_unsigned() && found->get<std::uint64_t>() <= 255) ||
                          (found->is_number_integer() && !found->is_number_unsigned() &&
                           found->get<std::int64_t>() >= 0 && found->get<std::int64_t>() <= 255);
    if (!in_range) return std::unexpected(unreadable(in_guillemets(key) + " n'est pas un entier de 0 à 255"));
    return static_cast<std::uint8_t>(found->get<std::uint64_t>());
}

std::expected<std::string, HalError> text_field(const Json& record, std::string_view key, bool required) {
    const auto found = record.find(key);
    if (found == record.end()) {
        if (required) return std::unexpected(unreadable("clé " + in_guillemets(key) + " manquante"));
        return std::string{};
    }
    if (!found->is_string()) return std::unexpected(unreadable(in_guillemets(key) + " n'est pas un texte"));
    return found->get<std::string>();
}

std::expected<KeyboardJson, HalError> read_keyboard_json(std::string_view text) {
    // The reader skips a leading byte-order mark without a word; it is not white space, so the text
    // is not one JSON object.
    if (text.starts_with(UTF8_BYTE_ORDER_MARK)) {
        return std::unexpected(unreadable("marque d'ordre des octets UTF-8 en tête de réponse"));
    }
    DuplicateKeyWatch watch;
    Json record;
    try {
        // A copy of the watch would lose what it saw: the callback holds it by reference.
        record = Json::parse(text.begin(), text.end(),
                             [&watch](int depth, Json::parse_event_t event, Json& parsed) {
                                 return watch(depth, event, parsed);
                             });
    } catch (const Json::exception& fault) {
        return std::unexpected(unreadable(fault.what()));
    }
    if (watch.duplicate()) return std::unexpected(unreadable("clé " + in_guillemets(*watch.duplicate()) + " en double"));
    if (!record.is_object()) return std::unexpected(unreadable("objet JSON attendu"));

    KeyboardJson fields{};
    auto available = boolean_field(record, "available");
    if (!available) return std::unexpected(available.error());
    auto known = boolean_field(record, "known");
    if (!known) return std::unexpected(known.error());
    auto level = byte_field(record, "level");
    if (!level) return std::unexpected(level.error());
    auto max_level = byte_field(record, "max_level");
    if (!max_level) return std::unexpected(max_level.error());
    auto source = text_field(record, "source", true);
    if (!source) return std::unexpected(source.error());
    auto applied = boolean_field(record, "applied");
    if (!applied) return std::unexpected(applied.error());
    auto reason = text_field(record, "reason", false);
    if (!reason) return std::unexpected(reason.error());
    return KeyboardJson{*available, *known, *level, *max_level, std::move(*source), *applied, std::move(*reason)};
}

std::optional<BacklightSource> source_from_name(std::string_view name) {
    for (const auto& [value, text] : SOURCE_NAMES) {
        if (text == name) return value;
    }
    return std::nullopt;
}

// The script's own reason, or ours when it gave none.
std::string reason_or(std::string reason, std::string_view otherwise) {
    return reason.empty() ? std::string(otherwise) : std::move(reason);
}

}  // namespace

std::string_view source_name(BacklightSource source) {
    for (const auto& [value, name] : SOURCE_NAMES) {
        if (value == source) return name;
    }
    return "";
}

std::expected<KeyboardState, HalError> interpret_backlight_output(std::string_view text, BacklightMode mode) {
    // Callers pass decoded text; anything else is made well-formed first so trimming stays sound.
    const std::string decoded = is_valid_utf8(text) ? std::string(text) : decode_utf8_lossy(text);
    auto record = read_keyboard_json(trim_white_space(decoded));
    if (!record) return std::unexpected(std::move(record.error()));

    if (!record->available) {
        return std::unexpected(HalError::unavailable(
            reason_or(std::move(record->reason), "aucune interface de rétroéclairage clavier détectée")));
    }
    if (mode == BacklightMode::Write && !record->applied) {
        return std::unexpected(HalError::unavailable(
            reason_or(std::move(record->reason), "la commande de rétroéclairage n'a pas été appliquée")));
    }
    const auto source = source_from_name(record->source);
    if (!source) {
        return std::unexpected(HalError::invalid_data("source de rétroéclairage inconnue : " + record->source));
    }
    const std::uint8_t max_level = record->max_level == 0 ? 1 : limit_backlight_level(record->max_level);
    return KeyboardState{record->known, *source, std::min(record->level, max_level), max_level};
}

}  // namespace vantrel
