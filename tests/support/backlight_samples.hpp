#pragma once
// Script outputs and service replies as the backlight reader meets them, shared by the unit tests
// and the fuzzer's starting corpus.

#include <array>
#include <string_view>

namespace vantrel::backlight_samples {

inline constexpr std::array<std::string_view, 8> OUTPUTS{
    R"({"available":true,"known":true,"level":2,"max_level":2,"source":"framework","applied":true,"verified":true,"reason":""})",
    R"j({"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,"verified":false,"reason":"aucune interface de retroeclairage clavier detectee (ThinkPad PM : retroeclairage non pret)"})j",
    R"({"available":true,"known":true,"level":1,"max_level":2,"source":"thinkpad-pm","applied":false,"verified":false,"reason":"niveau hors limites"})",
    R"({"available":true,"known":false,"level":1,"max_level":1,"source":"hid","applied":true,"verified":false,"reason":"commande HID envoyee ; confirmation indisponible"})",
    R"({"available":true,"known":true,"level":0,"max_level":2,"source":"lenovo-wmi","applied":true,"verified":true})",
    R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":"ressource non disponible : aucune interface de rétroéclairage clavier détectée","source":""})",
    R"({"applied":true,"available":true,"known":true,"level":1,"max_level":2,"reason":"","source":"thinkpad-pm"})"
    "\n",
    // A whole, valid record behind a byte-order mark: refused for the mark alone.
    "\xEF\xBB\xBF"
    R"({"available":true,"known":true,"level":1,"max_level":2,"source":"hid","applied":true,"reason":""})"
    "\r\n",
};

}  // namespace vantrel::backlight_samples
