#include "hal/src/backlight.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hal/src/backlight_invocation.hpp"
#include "tests/support/backlight_samples.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using enum BacklightMode;
using test::PrintTo;

// A record with every key but "reason"; each "key":value of `members` replaces the default of
// that key or is added at the end.
std::string record(std::string_view members) {
    std::vector<std::pair<std::string, std::string>> fields{{"available", "true"}, {"known", "true"},
                                                            {"level", "1"},        {"max_level", "2"},
                                                            {"source", "\"hid\""}, {"applied", "true"}};
    std::string_view rest = members;
    while (!rest.empty()) {
        // Test members hold no comma inside values except in the "extra" member, given last.
        const auto colon = rest.find("\":");
        const std::string key(rest.substr(1, colon - 1));
        rest.remove_prefix(colon + 2);
        const auto comma = key == "extra" ? std::string_view::npos : rest.find(',');
        std::string value(rest.substr(0, comma));
        rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
        auto known = std::find_if(fields.begin(), fields.end(), [&](const auto& field) { return field.first == key; });
        if (known != fields.end()) {
            known->second = std::move(value);
        } else {
            fields.emplace_back(key, std::move(value));
        }
    }
    std::string text = "{";
    for (const auto& [key, value] : fields) text += (text.size() > 1 ? ",\"" : "\"") + key + "\":" + value;
    return text + "}";
}

struct Success {
    std::string_view name;
    std::string text;
    BacklightMode mode;
    KeyboardState expected;
};

class InterpretSuccess : public testing::TestWithParam<Success> {};

TEST_P(InterpretSuccess, GivesTheState) {
    const auto result = interpret_backlight_output(GetParam().text, GetParam().mode);
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_EQ(*result, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Backlight, InterpretSuccess,
    testing::Values(
        Success{"script_line", std::string(backlight_samples::OUTPUTS[0]), Write,
                {true, BacklightSource::Framework, 2, 2}},
        Success{"service_reply_with_line_feed", std::string(backlight_samples::OUTPUTS[6]), Read,
                {true, BacklightSource::ThinkpadPm, 1, 2}},
        Success{"max_level_0_reads_as_1", record(R"("reason":"","max_level":0,"level":1)"), Read,
                {true, BacklightSource::Hid, 1, 1}},
        Success{"max_level_5_and_level_4_give_2_and_2", record(R"("max_level":5,"level":4)"), Read,
                {true, BacklightSource::Hid, 2, 2}},
        Success{"level_above_max_is_limited", record(R"("max_level":1,"level":2)"), Read,
                {true, BacklightSource::Hid, 1, 1}},
        Success{"missing_reason_is_accepted", record(R"("verified":true)"), Write,
                {true, BacklightSource::Hid, 1, 2}},
        Success{"verified_false_applied_true_is_a_success", record(R"("verified":false,"reason":"lecture")"),
                Write, {true, BacklightSource::Hid, 1, 2}},
        Success{"read_mode_ignores_applied",
                R"({"available":true,"known":false,"level":0,"max_level":2,"source":"lenovo-wmi","applied":false,"reason":"x"})",
                Read, {false, BacklightSource::LenovoWmi, 0, 2}},
        Success{"unicode_white_space_around", "\u00a0\t\n " + record("") + "\u2003\r\n", Read,
                {true, BacklightSource::Hid, 1, 2}},
        Success{"other_keys_are_ignored", record(R"("verified":"yes","extra":{"a":[1,2]})"), Read,
                {true, BacklightSource::Hid, 1, 2}},
        Success{"every_source_name", R"({"available":true,"known":true,"level":0,"max_level":2,"source":"thinkpad-pm","applied":true})",
                Read, {true, BacklightSource::ThinkpadPm, 0, 2}}),
    test::RowName{});

struct Failure {
    std::string_view name;
    std::string text;
    BacklightMode mode;
    HalErrorKind kind;
    std::string message;  // exact, or the start of it when `prefix_only`
    bool prefix_only = false;
};

class InterpretFailure : public testing::TestWithParam<Failure> {};

TEST_P(InterpretFailure, GivesTheError) {
    const auto result = interpret_backlight_output(GetParam().text, GetParam().mode);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, GetParam().kind);
    if (GetParam().prefix_only) {
        EXPECT_TRUE(result.error().message.starts_with(GetParam().message)) << result.error().message;
        EXPECT_GT(result.error().message.size(), GetParam().message.size()) << "the reader's description is missing";
    } else {
        EXPECT_EQ(result.error().message, GetParam().message);
    }
}

constexpr std::string_view UNREADABLE = "réponse de rétroéclairage illisible : ";

std::string unreadable(std::string_view why) { return std::string(UNREADABLE) + std::string(why); }

INSTANTIATE_TEST_SUITE_P(
    Backlight, InterpretFailure,
    testing::Values(
        // Nothing available.
        Failure{"nothing_available_no_reason",
                R"({"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,"reason":""})",
                Read, HalErrorKind::Unavailable, "aucune interface de rétroéclairage clavier détectée"},
        Failure{"nothing_available_missing_reason",
                R"({"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false})", Write,
                HalErrorKind::Unavailable, "aucune interface de rétroéclairage clavier détectée"},
        Failure{"unaccented_script_reason_passed_on", std::string(backlight_samples::OUTPUTS[1]), Read,
                HalErrorKind::Unavailable,
                "aucune interface de retroeclairage clavier detectee (ThinkPad PM : retroeclairage non pret)"},
        Failure{"service_failure_reason_keeps_its_prefix", std::string(backlight_samples::OUTPUTS[5]), Read,
                HalErrorKind::Unavailable,
                "ressource non disponible : aucune interface de rétroéclairage clavier détectée"},
        // Write not applied.
        Failure{"write_not_applied_no_reason", record(R"("applied":false,"reason":"")"), Write,
                HalErrorKind::Unavailable, "la commande de rétroéclairage n'a pas été appliquée"},
        Failure{"write_not_applied_with_reason", std::string(backlight_samples::OUTPUTS[2]), Write,
                HalErrorKind::Unavailable, "niveau hors limites"},
        Failure{"unavailable_wins_over_unknown_source",
                R"({"available":false,"known":false,"level":0,"max_level":2,"source":"?","applied":false,"reason":"r"})",
                Write, HalErrorKind::Unavailable, "r"},
        // Unknown source.
        Failure{"unknown_source", record(R"("source":"HID")"), Read, HalErrorKind::InvalidData,
                "source de rétroéclairage inconnue : HID"},
        Failure{"empty_source_while_available", record(R"("source":"")"), Read, HalErrorKind::InvalidData,
                "source de rétroéclairage inconnue : "},
        // Unreadable: types, ranges, presence.
        Failure{"level_300", record(R"("level":300)"), Read, HalErrorKind::InvalidData,
                unreadable("« level » n'est pas un entier de 0 à 255")},
        Failure{"level_minus_1", record(R"("level":-1)"), Read, HalErrorKind::InvalidData,
                unreadable("« level » n'est pas un entier de 0 à 255")},
        Failure{"level_with_fraction", record(R"("level":1.0)"), Read, HalErrorKind::InvalidData,
                unreadable("« level » n'est pas un entier de 0 à 255")},
        Failure{"max_level_as_text", record(R"("max_level":"2")"), Read, HalErrorKind::InvalidData,
                unreadable("« max_level » n'est pas un entier de 0 à 255")},
        Failure{"reason_null", record(R"("reason":null)"), Read, HalErrorKind::InvalidData,
                unreadable("« reason » n'est pas un texte")},
        Failure{"available_as_number",
                R"({"available":1,"known":true,"level":1,"max_level":2,"source":"hid","applied":true})", Read,
                HalErrorKind::InvalidData, unreadable("« available » n'est pas un booléen")},
        Failure{"missing_applied_in_read_mode",
                R"({"available":true,"known":true,"level":1,"max_level":2,"source":"hid"})", Read,
                HalErrorKind::InvalidData, unreadable("clé « applied » manquante")},
        Failure{"missing_known", R"({"available":true,"level":1,"max_level":2,"source":"hid","applied":true})",
                Read, HalErrorKind::InvalidData, unreadable("clé « known » manquante")},
        Failure{"source_null", record(R"("source":null)"), Read, HalErrorKind::InvalidData,
                unreadable("« source » n'est pas un texte")},
        Failure{"duplicate_key", record(R"("reason":"")").insert(1, R"("level":2,)"), Read, HalErrorKind::InvalidData,
                unreadable("clé « level » en double")},
        Failure{"duplicate_ignored_key", record(R"("verified":true)").insert(1, R"("verified":false,)"), Read,
                HalErrorKind::InvalidData, unreadable("clé « verified » en double")},
        Failure{"not_an_object", "[1,2]", Read, HalErrorKind::InvalidData, unreadable("objet JSON attendu")},
        // Unreadable: the reader's own description follows the prefix.
        Failure{"empty_output", "", Read, HalErrorKind::InvalidData, std::string(UNREADABLE), true},
        Failure{"only_white_space", " \r\n\u3000", Read, HalErrorKind::InvalidData, std::string(UNREADABLE), true},
        Failure{"two_records", record("") + "\n" + record(""), Read, HalErrorKind::InvalidData,
                std::string(UNREADABLE), true},
        Failure{"text_after_the_object", record("") + " x", Read, HalErrorKind::InvalidData,
                std::string(UNREADABLE), true},
        Failure{"byte_order_mark_is_not_white_space", std::string(backlight_samples::OUTPUTS[7]), Read,
                HalErrorKind::InvalidData, unreadable("marque d'ordre des octets UTF-8 en tête de réponse")},
        Failure{"byte_order_mark_after_blanks", " \r\n" + std::string(backlight_samples::OUTPUTS[7]), Read,
                HalErrorKind::InvalidData, unreadable("marque d'ordre des octets UTF-8 en tête de réponse")},
        Failure{"cut_at_4096_bytes", record(R"("reason":")" + std::string(5000, 'x') + "\"").substr(0, 4096), Read,
                HalErrorKind::InvalidData, std::string(UNREADABLE), true},
        Failure{"powershell_error_text", "Missing an argument for parameter 'FrameworkDir'.", Read,
                HalErrorKind::InvalidData, std::string(UNREADABLE), true}),
    test::RowName{});

TEST(Backlight, SourceNamesFollowTheNumbering) {
    EXPECT_EQ(source_name(BacklightSource::Hid), "hid");
    EXPECT_EQ(source_name(BacklightSource::LenovoWmi), "lenovo-wmi");
    EXPECT_EQ(source_name(BacklightSource::ThinkpadPm), "thinkpad-pm");
    EXPECT_EQ(source_name(BacklightSource::Framework), "framework");
}

TEST(Backlight, InvalidUtf8IsReplacedNotTrusted) {
    const auto result = interpret_backlight_output(
        "{\"available\":false,\"known\":false,\"level\":0,\"max_level\":2,\"source\":\"\",\"applied\":false,"
        "\"reason\":\"a\xff\"}",
        Read);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, "a\uFFFD");
}

TEST(BacklightInvocation, ScriptFileNameAndArguments) {
    EXPECT_EQ(backlight_script_file_name(4242), "vantrel-keyboard-4242.ps1");
    const std::vector<std::string> expected{
        "-NoProfile", "-NonInteractive", "-ExecutionPolicy", "Bypass", "-File", R"(C:\T\s.ps1)",
        "-Mode",      "write",           "-Level",           "1",      "-FrameworkDir", R"(C:\Program Files\V\framework)"};
    EXPECT_EQ(powershell_arguments(R"(C:\T\s.ps1)", Write, 1, R"(C:\Program Files\V\framework)"), expected);
}

TEST(BacklightInvocation, TimeoutMessage) {
    EXPECT_EQ(backlight_timeout_message(std::chrono::seconds(60)), "commande de rétroéclairage sans réponse (60 s)");
}

TEST(BacklightScript, EmbeddedTextIsTheScriptFile) {
    std::ifstream file(VANTREL_BACKLIGHT_SCRIPT_PATH, std::ios::binary);
    ASSERT_TRUE(file) << VANTREL_BACKLIGHT_SCRIPT_PATH;
    const std::string on_disk{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(backlight_script_text(), on_disk);
}

TEST(BacklightScript, AsciiWithLineFeedsOnly) {
    const std::string_view text = backlight_script_text();
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        ASSERT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << "byte " << int(byte) << " at " << i;
    }
    EXPECT_EQ(text.back(), '\n');
}

#ifndef _WIN32
TEST(Backlight, OnlyReachableOnWindows) {
    for (const auto& result : {run_backlight_script(Read, 0), run_backlight_script(Write, 2)}) {
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().kind, HalErrorKind::Unavailable);
        EXPECT_EQ(result.error().message, "le rétroéclairage clavier n'est accessible que sous Windows");
    }
}
#endif

}  // namespace
}  // namespace vantrel
