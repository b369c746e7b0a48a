#include "src/cli/documents.hpp"

#include <nlohmann/json.hpp>

namespace vantrel {
namespace {

using Json = nlohmann::ordered_json;

Json text_or_null(const std::optional<std::string>& value) { return value ? Json(*value) : Json(nullptr); }

// The whole document goes into memory first, so a failure never leaves half a document behind.
std::expected<std::string, std::string> render(const Json& document) {
    try {
        return document.dump(2, ' ', /* ensure_ascii */ false);
    } catch (const Json::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
}

}  // namespace

const std::string_view NOTICE =
    "Vantrel est un projet indépendant et NON OFFICIEL : il n'est ni développé, ni approuvé, ni "
    "soutenu par Lenovo. ThinkPad et Lenovo sont des marques de Lenovo. Ce logiciel est fourni sans "
    "aucune garantie ; vous l'utilisez à vos propres risques.";

std::expected<std::string, std::string> render_detection_report(std::string_view backend,
                                                                const MachineIdentity& identity,
                                                                const Resolution& resolution,
                                                                std::size_t profiles_loaded) {
    const SourceLabels& labels = identity.sources;
    Json sources = Json::object();
    sources["manufacturer"] = text_or_null(labels.manufacturer);
    sources["mtm"] = text_or_null(labels.mtm);
    sources["display_name"] = text_or_null(labels.display_name);
    sources["bios_vendor"] = text_or_null(labels.bios_vendor);
    sources["bios_version"] = text_or_null(labels.bios_version);
    sources["bios_release_date"] = text_or_null(labels.bios_release_date);

    Json report = Json::object();
    report["notice"] = NOTICE;
    report["backend"] = backend;
    report["manufacturer"] = text_or_null(identity.manufacturer);
    report["mtm"] = text_or_null(identity.mtm);
    report["display_name"] = text_or_null(identity.display_name);
    report["bios_vendor"] = text_or_null(identity.bios_vendor);
    report["bios_version"] = text_or_null(identity.bios_version);
    report["bios_release_date"] = text_or_null(identity.bios_release_date);
    report["resolution"] = resolution_word(resolution.kind);
    report["profile_id"] = resolution.profile ? Json(resolution.profile->id) : Json(nullptr);
    report["profiles_loaded"] = profiles_loaded;
    report["sources"] = std::move(sources);
    return render(report);
}

std::expected<std::string, std::string> render_profile_listing(const ProfileCatalogue& catalogue) {
    Json profiles = Json::array();
    for (const MachineProfile& profile : catalogue) {
        Json summary = Json::object();
        summary["id"] = profile.id;
        summary["display_name"] = profile.display_name;
        summary["scope"] = scope_name(profile.scope);
        summary["capabilities"] = profile.capabilities.size();
        profiles.push_back(std::move(summary));
    }
    Json listing = Json::object();
    listing["notice"] = NOTICE;
    listing["profiles"] = std::move(profiles);
    return render(listing);
}

std::expected<std::string, std::string> render_keyboard_state(const BacklightAnswer& answer) {
    Json state = Json::object();
    state["notice"] = NOTICE;
    state["answered_by"] = answered_by_name(answer.by);
    state["source"] = source_name(answer.state.source);
    state["known"] = answer.state.known;
    state["level"] = answer.state.level;
    state["max_level"] = answer.state.max_level;
    return render(state);
}

}  // namespace vantrel
