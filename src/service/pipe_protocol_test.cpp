#include "src/service/pipe_protocol.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

constexpr KeyboardState THINKPAD_AT_ONE{.known = true, .source = BacklightSource::ThinkpadPm, .level = 1, .max_level = 2};

// Records what the request asked of the backlight and answers with a fixed outcome.
struct BacklightDouble {
    std::expected<KeyboardState, HalError> outcome = THINKPAD_AT_ONE;
    int reads = 0;
    std::vector<std::uint8_t> writes;

    BacklightOperations operations() {
        return {
            .read = [this] { ++reads; return outcome; },
            .write = [this](std::uint8_t level) { writes.push_back(level); return outcome; },
        };
    }
};

std::string failure(std::string_view reason) {
    return R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":")" +
           std::string(reason) + R"(","source":""})";
}

const std::string THINKPAD_REPLY =
    R"({"applied":true,"available":true,"known":true,"level":1,"max_level":2,"reason":"","source":"thinkpad-pm"})";

TEST(PipeReply, SuccessAndFailureShapesByteForByte) {
    EXPECT_EQ(success_reply(THINKPAD_AT_ONE), THINKPAD_REPLY);
    EXPECT_EQ(failure_reply("niveau manquant"), failure("niveau manquant"));
    EXPECT_EQ(failure_reply("mémoire insuffisante") + "\n", OUT_OF_MEMORY_REPLY);
}

TEST(PipeReply, EverySourceHasItsName) {
    const std::pair<BacklightSource, const char*> rows[] = {{BacklightSource::Hid, "hid"},
                                                            {BacklightSource::LenovoWmi, "lenovo-wmi"},
                                                            {BacklightSource::ThinkpadPm, "thinkpad-pm"},
                                                            {BacklightSource::Framework, "framework"}};
    for (const auto& [source, name] : rows) {
        const KeyboardState state{.known = false, .source = source, .level = 0, .max_level = 1};
        EXPECT_EQ(success_reply(state), R"({"applied":true,"available":true,"known":false,"level":0,)"
                                        R"("max_level":1,"reason":"","source":")" + std::string(name) + "\"}");
    }
}

TEST(PipeReply, TextIsEscapedAndNonAsciiStaysRaw) {
    EXPECT_EQ(failure_reply("« a\"b\\c\n\x01 »"), failure("« a\\\"b\\\\c\\n\\u0001 »"));
}

// What each request must do to the backlight, and the reply it gets.
struct RequestRow {
    RequestRow(const char* name, std::string request, std::string reply, int reads = 0,
               std::optional<std::uint8_t> written = std::nullopt)
        : name(name), request(std::move(request)), reply(std::move(reply)), reads(reads), written(written) {}

    const char* name;
    std::string request;
    std::string reply;
    int reads;
    std::optional<std::uint8_t> written;
};

class HandleRequest : public testing::TestWithParam<RequestRow> {};

TEST_P(HandleRequest, RepliesAndRunsTheOperationAsked) {
    const RequestRow& row = GetParam();
    BacklightDouble backlight;
    EXPECT_EQ(handle_request(row.request, backlight.operations()), row.reply);
    EXPECT_EQ(backlight.reads, row.reads);
    if (row.written) {
        EXPECT_EQ(backlight.writes, std::vector<std::uint8_t>{*row.written});
    } else {
        EXPECT_TRUE(backlight.writes.empty());
    }
}

const std::string UNKNOWN = failure("opération inconnue : ");
const std::string NO_LEVEL = failure("niveau manquant");
std::string unreadable(std::string_view detail) { return failure("requête illisible : " + std::string(detail)); }

INSTANTIATE_TEST_SUITE_P(
    Requests, HandleRequest,
    testing::Values(
        RequestRow{"read", "{\"op\":\"keyboard_read\"}\n", THINKPAD_REPLY, 1},
        RequestRow{"write", "{\"op\":\"keyboard_write\",\"level\":1}\n", THINKPAD_REPLY, 0, 1},
        RequestRow{"write_zero", R"({"op":"keyboard_write","level":0})", THINKPAD_REPLY, 0, 0},
        RequestRow{"level_above_two_is_two", R"({"op":"keyboard_write","level":7})", THINKPAD_REPLY, 0, 2},
        RequestRow{"huge_level_is_two", R"({"op":"keyboard_write","level":18446744073709551615})", THINKPAD_REPLY, 0, 2},
        RequestRow{"negative_level", R"({"op":"keyboard_write","level":-1})", NO_LEVEL},
        RequestRow{"minus_zero_level", R"({"op":"keyboard_write","level":-0})", NO_LEVEL},
        RequestRow{"fraction_level", R"({"op":"keyboard_write","level":1.5})", NO_LEVEL},
        RequestRow{"integral_fraction_level", R"({"op":"keyboard_write","level":1.0})", NO_LEVEL},
        RequestRow{"exponent_level", R"({"op":"keyboard_write","level":1e0})", NO_LEVEL},
        RequestRow{"number_beyond_double_range", R"({"op":"keyboard_write","level":1e400})",
                   unreadable("[json.exception.out_of_range.406] number overflow parsing '1e400'")},
        RequestRow{"text_level", R"({"op":"keyboard_write","level":"1"})", NO_LEVEL},
        RequestRow{"true_level", R"({"op":"keyboard_write","level":true})", NO_LEVEL},
        RequestRow{"null_level", R"({"op":"keyboard_write","level":null})", NO_LEVEL},
        RequestRow{"missing_level", R"({"op":"keyboard_write"})", NO_LEVEL},
        RequestRow{"read_ignores_level", R"({"op":"keyboard_read","level":"x"})", THINKPAD_REPLY, 1},
        RequestRow{"extra_keys_ignored", R"({"x":[1,{"y":null}],"op":"keyboard_write","level":2,"z":"é"})", THINKPAD_REPLY, 0, 2},
        RequestRow{"empty_object", "{}", UNKNOWN},
        RequestRow{"text_value", R"("keyboard_read")", UNKNOWN},
        RequestRow{"number_value", "42", UNKNOWN},
        RequestRow{"array_value", R"([{"op":"keyboard_read"}])", UNKNOWN},
        RequestRow{"null_value", "null", UNKNOWN},
        RequestRow{"non_text_op", R"({"op":1})", UNKNOWN},
        RequestRow{"null_op", R"({"op":null})", UNKNOWN},
        RequestRow{"case_differs", R"({"op":"Keyboard_Read"})", failure("opération inconnue : Keyboard_Read")},
        RequestRow{"unknown_op_escaped_back", R"({"op":"lire \"é\"\u0007"})", failure("opération inconnue : lire \\\"é\\\"\\u0007")},
        RequestRow{"surrounding_white_space", " \t\r\n{\"op\":\"keyboard_read\"}\n\t \n", THINKPAD_REPLY, 1},
        RequestRow{"unicode_white_space", "\u3000\u00A0{\"op\":\"keyboard_read\"}\u2028", THINKPAD_REPLY, 1},
        RequestRow{"two_objects", "{\"op\":\"keyboard_read\"}\n{\"op\":\"keyboard_read\"}\n",
                   unreadable("[json.exception.parse_error.101] parse error at line 2, column 1: syntax error "
                              "while parsing value - unexpected '{'; expected end of input")},
        RequestRow{"empty", "", unreadable("[json.exception.parse_error.101] parse error at line 1, column 1: "
                                           "syntax error while parsing value - unexpected end of input; "
                                           "expected '[', '{', or a literal")},
        RequestRow{"blank", " \n ", unreadable("[json.exception.parse_error.101] parse error at line 1, column 1: "
                                               "syntax error while parsing value - unexpected end of input; "
                                               "expected '[', '{', or a literal")},
        RequestRow{"comment_refused", "{\"op\":\"keyboard_read\"} // lire",
                   unreadable("[json.exception.parse_error.101] parse error at line 1, column 24: syntax error "
                              "while parsing value - invalid literal; last read: '\\\"keyboard_read\\\"} /'; "
                              "expected end of input")},
        RequestRow{"byte_order_mark", "\xEF\xBB\xBF{\"op\":\"keyboard_read\"}",
                   unreadable("marque d'ordre des octets UTF-8 en tête de requête (ligne 1, colonne 1)")},
        RequestRow{"byte_order_mark_after_trimmed_blank", " \xEF\xBB\xBF{}",
                   unreadable("marque d'ordre des octets UTF-8 en tête de requête (ligne 1, colonne 1)")},
        RequestRow{"byte_order_mark_after_the_object", "{}\xEF\xBB\xBF",
                   unreadable("[json.exception.parse_error.101] parse error at line 1, column 3: syntax error "
                              "while parsing value - invalid literal; last read: '{}\uFFFD'; expected end of input")},
        RequestRow{"not_utf8", "{\"op\":\"keyboard_read\xFF\"}", failure("requête non UTF-8")},
        RequestRow{"surrogate_bytes", "{\"op\":\"\xED\xA0\x80\"}", failure("requête non UTF-8")},
        RequestRow{"lone_surrogate_escape", R"({"op":"\ud800"})",
                   unreadable("[json.exception.parse_error.101] parse error at line 1, column 14: syntax error "
                              "while parsing value - invalid string: surrogate U+D800..U+DBFF must be followed by "
                              "U+DC00..U+DFFF; last read: '"
                              R"(\"\\ud800\"')")}),
    test::RowName{});

TEST(HandleRequestLength, OnlyTheFirst4096BytesCount) {
    BacklightDouble backlight;
    std::string request = R"({"op":"keyboard_read","pad":")";
    request.append(PIPE_BUFFER_SIZE - request.size() - 2, 'x');
    request += "\"}";
    ASSERT_EQ(request.size(), PIPE_BUFFER_SIZE);
    EXPECT_EQ(handle_request(request, backlight.operations()), THINKPAD_REPLY);

    // One byte more would be the closing brace: cut, the object is unfinished.
    std::string longer = request.substr(0, PIPE_BUFFER_SIZE - 1) + "\"}";
    const std::string reply = handle_request(longer, backlight.operations());
    EXPECT_TRUE(reply.starts_with(R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,)"
                                  R"("reason":"requête illisible : [json.exception.parse_error.101] parse error )"
                                  R"(at line 1, column 4097)"))
        << reply;
    EXPECT_EQ(backlight.reads, 1);
}

TEST(HandleRequestLength, ACutInsideACharacterIsNotUtf8) {
    BacklightDouble backlight;
    std::string request(PIPE_BUFFER_SIZE - 1, ' ');
    request += "é";
    EXPECT_EQ(handle_request(request, backlight.operations()), failure("requête non UTF-8"));
}

TEST(HandleRequestOutcome, ABacklightErrorGivesItsDisplayText) {
    BacklightDouble backlight;
    backlight.outcome = std::unexpected(HalError{HalErrorKind::Unavailable, "aucune interface de rétroéclairage clavier détectée"});
    EXPECT_EQ(handle_request(R"({"op":"keyboard_read"})", backlight.operations()),
              failure("ressource non disponible : aucune interface de rétroéclairage clavier détectée"));
    backlight.outcome = std::unexpected(HalError{HalErrorKind::InvalidData, "x"});
    EXPECT_EQ(handle_request(R"({"op":"keyboard_write","level":2})", backlight.operations()),
              failure("données invalides : x"));
    EXPECT_EQ(backlight.writes, std::vector<std::uint8_t>{2});
}

TEST(HandleRequestOutcome, ReplyIsOneLineWhateverTheRequest) {
    BacklightDouble backlight;
    backlight.outcome = std::unexpected(HalError{HalErrorKind::AccessDenied, "ligne 1\nligne 2\r\n"});
    for (const std::string& request : {std::string(R"({"op":"keyboard_read"})"), std::string("{\"op\":\"a\nb\"}"),
                                      std::string("{\n\"op\"\n:\n1\n}\n{"), std::string("\n\xFF\n")}) {
        const std::string reply = handle_request(request, backlight.operations());
        EXPECT_EQ(reply.find('\n'), std::string::npos) << reply;
        EXPECT_EQ(reply.find('\r'), std::string::npos) << reply;
    }
}

TEST(PipeRequest, TheClientsTwoRequestsByteForByte) {
    EXPECT_EQ(pipe_request(BacklightMode::Read, 0), "{\"op\":\"keyboard_read\"}\n");
    EXPECT_EQ(pipe_request(BacklightMode::Read, 0).size(), 23U);
    EXPECT_EQ(pipe_request(BacklightMode::Read, 1), "{\"op\":\"keyboard_read\"}\n");
    EXPECT_EQ(pipe_request(BacklightMode::Write, 2), "{\"op\":\"keyboard_write\",\"level\":2}\n");
    // What the client sends, the server reads as sent.
    BacklightDouble backlight;
    EXPECT_EQ(handle_request(pipe_request(BacklightMode::Write, 1), backlight.operations()), THINKPAD_REPLY);
    EXPECT_EQ(backlight.writes, std::vector<std::uint8_t>{1});
}

// A failure reply carries the service's error as its display text; the client takes it back as
// that error, so its own display says each prefix once.
struct ReplyRow {
    const char* name;
    std::string reply;
    HalErrorKind kind;
    std::string message;
};

class InterpretReply : public testing::TestWithParam<ReplyRow> {};

TEST_P(InterpretReply, RebuildsTheServicesError) {
    const auto result = interpret_reply(GetParam().reply, BacklightMode::Write);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, GetParam().kind);
    EXPECT_EQ(result.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, InterpretReply,
    testing::Values(
        ReplyRow{"unavailable_said_once", failure("ressource non disponible : aucune interface de rétroéclairage clavier détectée"),
                 HalErrorKind::Unavailable, "aucune interface de rétroéclairage clavier détectée"},
        ReplyRow{"access_denied", failure("accès refusé : pilote fermé"), HalErrorKind::AccessDenied, "pilote fermé"},
        ReplyRow{"invalid_data", failure("données invalides : réponse de rétroéclairage illisible : x"),
                 HalErrorKind::InvalidData, "réponse de rétroéclairage illisible : x"},
        ReplyRow{"request_fault_without_prefix", failure("niveau manquant"), HalErrorKind::Unavailable, "niveau manquant"},
        ReplyRow{"prefix_not_at_the_start", failure("note : accès refusé : x"), HalErrorKind::Unavailable,
                 "note : accès refusé : x"},
        ReplyRow{"empty_reason", failure(""), HalErrorKind::Unavailable, "aucune interface de rétroéclairage clavier détectée"}),
    test::RowName{});

TEST(InterpretReply, SuccessIsTheServicesStateAndAnUnreadableReplyStaysUnreadable) {
    EXPECT_EQ(interpret_reply(THINKPAD_REPLY + "\n", BacklightMode::Write), THINKPAD_AT_ONE);
    const auto unreadable = interpret_reply("ressource non disponible : x", BacklightMode::Read);
    ASSERT_FALSE(unreadable.has_value());
    EXPECT_EQ(unreadable.error().kind, HalErrorKind::InvalidData);
    EXPECT_TRUE(unreadable.error().message.starts_with("réponse de rétroéclairage illisible : "));
}

}  // namespace
}  // namespace vantrel
