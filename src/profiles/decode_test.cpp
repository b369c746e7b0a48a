#include "src/profiles/decode.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/profile_samples.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

using profile_samples::COMPLETE;

// The complete profile with the line that starts with `prefix` replaced by `line` (removed when
// `line` is empty).
std::string with_line(std::string_view prefix, std::string_view line) {
    const std::string_view text = COMPLETE;
    std::string needle = "\n";
    needle += prefix;
    const std::size_t start = text.find(needle) + 1;
    const std::size_t end = text.find('\n', start) + 1;
    std::string changed(text.substr(0, start));
    if (!line.empty()) {
        changed += line;
        changed += '\n';
    }
    changed += text.substr(end);
    return changed;
}

std::string last_line(const std::string& report) { return report.substr(report.rfind('\n') + 1); }
std::string first_line(const std::string& report) { return report.substr(0, report.find('\n')); }

std::string fault_of(const std::string& text) {
    const auto decoded = decode_profile(text);
    if (decoded) return "(decoded)";
    return last_line(decoded.error().message);
}

const std::string CAPABILITY_HEAD =
    "schema_version = 1\nid = \"p\"\ndisplay_name = \"P\"\nscope = \"model\"\n[matches]\n[[capabilities]]\n";
const std::string CAPABILITY_REST =
    "id = \"c\"\nlabel = \"C\"\nconfidence = \"assumed\"\nsources = [\"s\"]\n";

std::string with_access(std::string_view access) {
    return CAPABILITY_HEAD + CAPABILITY_REST + "access = " + std::string(access) + "\n";
}

std::string repeated(std::string_view piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

// `before`0`after` `before`1`after` … up to `count` - 1.
std::string numbered(std::string_view before, std::string_view after, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += std::string(before) + std::to_string(i) + std::string(after);
    return text;
}

// A key or table name of `parts` parts: a.a.….a
std::string dotted(std::size_t parts) { return repeated("a.", parts - 1) + "a"; }

// [[a]], [[a.a]], … up to `parts` parts: each part an array of tables, reopened in its last element.
std::string arrays_of_tables(std::size_t parts) {
    std::string text;
    for (std::size_t i = 1; i <= parts; ++i) text += "[[" + dotted(i) + "]]\n";
    return text;
}

const std::string TOO_DEEP = ": nested deeper than 100 levels";
const std::string TOP_LEVEL_KEYS = "expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, `capabilities`";

TEST(DecodeProfile, CompleteProfileDecodesEveryField) {
    const auto decoded = decode_profile(COMPLETE);
    ASSERT_TRUE(decoded) << decoded.error().message;
    const MachineProfile expected{
        .schema_version = 1,
        .id = "exemple-14-gen2",
        .display_name = "Exemple 14 Gen 2",
        .scope = ProfileScope::Model,
        .matches = {.mtm = {"20AB", "20AC"}, .version_contains = {}},
        .capabilities = {
            Capability{.id = "charge_limit",
                       .label = "Limite de charge de la batterie",
                       .access = Wmi{.class_name = "ExampleBattery", .property = "ChargeLimit"},
                       .confidence = Confidence::Validated,
                       .sources = {"fiche technique du constructeur"},
                       .validated_on = "2025-03-14",
                       .bounds = Bounds{.min = 50, .max = 100},
                       .notes = std::nullopt},
            Capability{.id = "power_mode",
                       .label = "Mode d'alimentation",
                       .access = PlatformProfile{},
                       .confidence = Confidence::Assumed,
                       .sources = {"documentation du système"},
                       .validated_on = std::nullopt,
                       .bounds = std::nullopt,
                       .notes = std::nullopt},
        },
    };
    EXPECT_EQ(*decoded, expected);
}

TEST(DecodeProfile, ByteOrderMarkIsSkipped) {
    const auto decoded = decode_profile("\xEF\xBB\xBF" + std::string(COMPLETE));
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(decoded->id, "exemple-14-gen2");
}

TEST(DecodeProfile, AbsentOptionalsAreEmpty) {
    const auto decoded = decode_profile(
        "schema_version = 2\nid = \"f\"\ndisplay_name = \"F\"\nscope = \"family\"\nmatches = {}\n");
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(decoded->schema_version, 2u);
    EXPECT_EQ(decoded->scope, ProfileScope::Family);
    EXPECT_TRUE(decoded->matches.mtm.empty());
    EXPECT_TRUE(decoded->matches.version_contains.empty());
    EXPECT_TRUE(decoded->capabilities.empty());
}

struct AccessRow {
    std::string_view name;
    std::string_view access;
    Access expected;
};

class AccessDecodes : public testing::TestWithParam<AccessRow> {};

TEST_P(AccessDecodes, ToItsVariant) {
    const auto decoded = decode_profile(with_access(GetParam().access));
    ASSERT_TRUE(decoded) << decoded.error().message;
    ASSERT_EQ(decoded->capabilities.size(), 1u);
    EXPECT_EQ(decoded->capabilities[0].access, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryIntegerNotation, AccessDecodes,
    testing::Values(AccessRow{"HexadecimalAddress", R"({ method = "msr", address = 0x1A0 })", Msr{416}},
                    AccessRow{"LargestAddress", R"({ method = "msr", address = 4294967295 })", Msr{4294967295u}},
                    AccessRow{"OctalAddress", R"({ method = "msr", address = 0o17 })", Msr{15}},
                    AccessRow{"BinaryOffsetWithUnderscore", R"({ method = "ec", offset = 0b1111_1111 })", Ec{255}},
                    AccessRow{"DecimalOffsetWithUnderscore", R"({ method = "ec", offset = 1_0 })", Ec{10}},
                    AccessRow{"AcpiPath", R"({ method = "acpi", path = "\\_SB.PCI0" })", Acpi{"\\_SB.PCI0"}},
                    AccessRow{"PlatformProfileIgnoresOtherKeys",
                              R"({ method = "platform_profile", note = "x", address = "y" })", PlatformProfile{}}),
    test::RowName{});

struct FaultRow {
    std::string name;
    std::string text;
    std::string message;
};

class DecodeFault : public testing::TestWithParam<FaultRow> {};

TEST_P(DecodeFault, ReportsTheMessage) { EXPECT_EQ(fault_of(GetParam().text), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    TopLevel, DecodeFault,
    testing::Values(
        FaultRow{"Empty", "", "missing field `schema_version`"},
        FaultRow{"MissingMatches",
                 "schema_version = 1\nid = \"p\"\ndisplay_name = \"P\"\nscope = \"model\"\n",
                 "missing field `matches`"},
        FaultRow{"MissingId", with_line("id", ""), "missing field `id`"},
        FaultRow{"MissingDisplayName", with_line("display_name", ""), "missing field `display_name`"},
        FaultRow{"MissingScope", with_line("scope", ""), "missing field `scope`"},
        FaultRow{"UnknownKey", "author = \"moi\"\n" + std::string(COMPLETE),
                 "unknown field `author`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, `capabilities`"},
        FaultRow{"NegativeVersion", with_line("schema_version", "schema_version = -1"),
                 "invalid value: integer `-1`, expected u32"},
        FaultRow{"VersionTooLarge", with_line("schema_version", "schema_version = 0x1_0000_0000"),
                 "invalid value: integer `4294967296`, expected u32"},
        FaultRow{"FloatVersion", with_line("schema_version", "schema_version = 1.5"),
                 "invalid type: floating point `1.5`, expected u32"},
        FaultRow{"WholeFloatVersion", with_line("schema_version", "schema_version = 1e2"),
                 "invalid type: floating point `100.0`, expected u32"},
        FaultRow{"SmallFloat", with_line("schema_version", "schema_version = 1e-7"),
                 "invalid type: floating point `0.0000001`, expected u32"},
        FaultRow{"Infinity", with_line("schema_version", "schema_version = -inf"),
                 "invalid type: floating point `-inf`, expected u32"},
        FaultRow{"NotANumber", with_line("schema_version", "schema_version = nan"),
                 "invalid type: floating point `NaN`, expected u32"},
        FaultRow{"StringVersion", with_line("schema_version", "schema_version = \"a\\\"b\\\\c\td\\n\""),
                 R"(invalid type: string "a\"b\\c\td\n", expected u32)"},
        FaultRow{"ControlCharacter", with_line("schema_version", R"(schema_version = "\e\u007F")"),
                 R"(invalid type: string "\u{1b}\u{7f}", expected u32)"},
        FaultRow{"BooleanId", with_line("id", "id = true"), "invalid type: boolean `true`, expected a string"},
        FaultRow{"ArrayId", with_line("id", "id = []"), "invalid type: sequence, expected a string"},
        FaultRow{"DateId", with_line("id", "id = 07:32"), "invalid type: map, expected a string"},
        FaultRow{"TableName", with_line("display_name", "display_name = {}"), "invalid type: map, expected a string"},
        FaultRow{"ScopeCase", with_line("scope", R"(scope = "Model")"),
                 "unknown variant `Model`, expected `model` or `family`"},
        FaultRow{"ScopeInteger", with_line("scope", "scope = 1"), "wanted string or table"},
        FaultRow{"ScopeDate", with_line("scope", "scope = 2025-03-14"), "wanted string or table"},
        FaultRow{"ScopeTable", with_line("scope", "scope = { model = {} }"),
                 "invalid type: map, expected enum ProfileScope"},
        FaultRow{"MatchesNotTable", "schema_version = 1\nid = \"p\"\ndisplay_name = \"P\"\nscope = \"model\"\nmatches = 1\n",
                 "invalid type: integer `1`, expected struct Matches"},
        FaultRow{"CapabilitiesTable", "schema_version = 1\nid = \"p\"\ndisplay_name = \"P\"\nscope = \"model\"\nmatches = {}\ncapabilities = {}\n",
                 "invalid type: map, expected a sequence"},
        FaultRow{"CapabilityNotTable", "schema_version = 1\nid = \"p\"\ndisplay_name = \"P\"\nscope = \"model\"\nmatches = {}\ncapabilities = [1]\n",
                 "invalid type: integer `1`, expected struct Capability"}),
    test::RowName{});

INSTANTIATE_TEST_SUITE_P(
    Matches, DecodeFault,
    testing::Values(
        FaultRow{"MtmString", with_line("mtm", R"(mtm = "20AB")"), R"(invalid type: string "20AB", expected a sequence)"},
        FaultRow{"MtmElement", with_line("mtm", R"(mtm = ["20AB", 3, true])"), "invalid type: integer `3`, expected a string"},
        FaultRow{"UnknownKey", with_line("mtm", "model = []"), "unknown field `model`, expected `mtm` or `version_contains`"}),
    test::RowName{});

INSTANTIATE_TEST_SUITE_P(
    Capability, DecodeFault,
    testing::Values(
        FaultRow{"BareDate", with_line("validated_on", "validated_on = 2025-03-14"), "invalid type: map, expected a string"},
        FaultRow{"MissingSources", with_line("sources = [\"fiche", ""), "missing field `sources`"},
        FaultRow{"MissingId", with_line("id = \"charge_limit\"", ""), "missing field `id`"},
        FaultRow{"MissingLabel", with_line("label", ""), "missing field `label`"},
        FaultRow{"MissingAccess", with_line("access", ""), "missing field `access`"},
        FaultRow{"MissingConfidence", with_line("confidence", ""), "missing field `confidence`"},
        FaultRow{"ConfidenceCase", with_line("confidence = \"validated\"", R"(confidence = "Validated")"),
                 "unknown variant `Validated`, expected one of `validated`, `documented`, `assumed`"},
        FaultRow{"ConfidenceTable", with_line("confidence = \"validated\"", "confidence = { validated = [] }"),
                 "invalid type: map, expected enum Confidence"},
        FaultRow{"UnknownKey", with_line("validated_on", "tested = true"),
                 "unknown field `tested`, expected one of `id`, `label`, `access`, `confidence`, `sources`, `validated_on`, `bounds`, `notes`"},
        FaultRow{"BoundsMissingMax", with_line("bounds", "bounds = { min = 0 }"), "missing field `max`"},
        FaultRow{"BoundsMissingMin", with_line("bounds", "bounds = { max = 0 }"), "missing field `min`"},
        FaultRow{"BoundsNotTable", with_line("bounds", "bounds = [0, 1]"), "invalid type: sequence, expected struct Bounds"},
        FaultRow{"BoundsFloat", with_line("bounds", "bounds = { min = 0, max = 1.0 }"),
                 "invalid type: floating point `1.0`, expected i64"},
        // Keys are visited in byte order: `max` before `min`.
        FaultRow{"KeysInByteOrder", with_line("bounds", R"(bounds = { min = "a", max = "b" })"),
                 R"(invalid type: string "b", expected i64)"},
        // An undeclared key wins over a missing one.
        FaultRow{"UndeclaredBeforeMissing", with_line("bounds", "bounds = { min = 1, zzz = 2 }"),
                 "unknown field `zzz`, expected `min` or `max`"},
        FaultRow{"SecondCapability", with_line("confidence = \"assumed\"", "confidence = 3"), "wanted string or table"}),
    test::RowName{});

INSTANTIATE_TEST_SUITE_P(
    Access, DecodeFault,
    testing::Values(
        FaultRow{"MsrWithoutAddress", with_access(R"({ method = "msr" })"), "missing field `address`"},
        FaultRow{"EcWithoutOffset", with_access(R"({ method = "ec" })"), "missing field `offset`"},
        FaultRow{"WmiWithoutClass", with_access(R"({ method = "wmi", property = "P" })"), "missing field `class`"},
        FaultRow{"WmiWithoutProperty", with_access(R"({ method = "wmi", class = "C" })"), "missing field `property`"},
        FaultRow{"AcpiWithoutPath", with_access(R"({ method = "acpi" })"), "missing field `path`"},
        FaultRow{"MsrExtraKey", with_access(R"({ method = "msr", address = 1, bit = 0 })"),
                 "unknown field `bit`, expected `address`"},
        FaultRow{"EcExtraKey", with_access(R"({ method = "ec", offset = 1, size = 1 })"),
                 "unknown field `size`, expected `offset`"},
        FaultRow{"WmiExtraKey", with_access(R"({ method = "wmi", class = "C", property = "P", extra = 1 })"),
                 "unknown field `extra`, expected `class` or `property`"},
        FaultRow{"AcpiExtraKey", with_access(R"({ method = "acpi", path = "P", offset = 1 })"),
                 "unknown field `offset`, expected `path`"},
        FaultRow{"NoMethod", with_access(R"({ address = 1 })"), "missing field `method`"},
        // The method is read before any other key, even one that sorts first.
        FaultRow{"MethodFirst", with_access(R"({ aaa = 1, method = "smbus" })"),
                 "unknown variant `smbus`, expected one of `msr`, `ec`, `wmi`, `acpi`, `platform_profile`"},
        FaultRow{"MethodNotString", with_access(R"({ method = 1 })"), "invalid type: integer `1`, expected variant identifier"},
        FaultRow{"AccessNotTable", with_access(R"("msr")"), R"(invalid type: string "msr", expected internally tagged enum Access)"},
        FaultRow{"OffsetTooLarge", with_access(R"({ method = "ec", offset = 256 })"), "invalid value: integer `256`, expected u8"},
        FaultRow{"OffsetOctalTooLarge", with_access(R"({ method = "ec", offset = 0o400 })"), "invalid value: integer `256`, expected u8"},
        FaultRow{"OffsetNegative", with_access(R"({ method = "ec", offset = -1 })"), "invalid value: integer `-1`, expected u8"},
        FaultRow{"AddressString", with_access(R"({ method = "msr", address = "0x1A0" })"), R"(invalid type: string "0x1A0", expected u32)"},
        FaultRow{"WmiClassNotText", with_access(R"({ method = "wmi", class = 1, property = "P" })"),
                 "invalid type: integer `1`, expected a string"}),
    test::RowName{});

// What TOML 1.1 allows and toml++'s unreleased mode reads otherwise.
INSTANTIATE_TEST_SUITE_P(
    Syntax, DecodeFault,
    testing::Values(
        FaultRow{"PlusInBareKey", "a+b = 1\n" + std::string(COMPLETE),
                 "Error while parsing key: bare keys may only contain ASCII letters, ASCII digits, underscores and dashes, saw '+'"},
        FaultRow{"NonAsciiBareKey", "μ = 1\n" + std::string(COMPLETE),
                 "Error while parsing key: bare keys may only contain ASCII letters, ASCII digits, underscores and dashes, saw 'μ'"},
        // The key was first written quoted: only the text shows the bare spelling.
        FaultRow{"NonAsciiKeyReopened", std::string(COMPLETE) + "[\"é\"]\nx = 1\n[é.y]\n",
                 "Error while parsing key: bare keys may only contain ASCII letters, ASCII digits, underscores and dashes, saw 'é'"},
        FaultRow{"HexFloat", with_line("schema_version", "schema_version = 0x1p4"),
                 "Error while parsing floating-point: hexadecimal floating-point values are not supported in TOML"},
        FaultRow{"DuplicateKey", with_line("id", "id = \"a\"\nid = \"b\""),
                 "Error while parsing key-value pair: cannot redefine existing string 'id'"}),
    test::RowName{});

// Every key part, table header part, array and inline table is one level; past 100 the document
// is refused before anything reads it recursively, whatever its size.
INSTANTIATE_TEST_SUITE_P(
    Nesting, DecodeFault,
    testing::Values(
        FaultRow{"DottedKeyAtLimit", dotted(100) + " = 1\n" + std::string(COMPLETE), "unknown field `a`, " + TOP_LEVEL_KEYS},
        FaultRow{"DottedKeyPastLimit", dotted(101) + " = 1\n", "Error while parsing key" + TOO_DEEP},
        FaultRow{"HugeDottedKey", dotted(30000) + " = 1\n", "Error while parsing key" + TOO_DEEP},
        FaultRow{"QuotedDotsAreOneKey", "x = 1\n" + repeated("\"a.\".", 99) + "'a.b' = 1\n",
                 "unknown field `a.`, " + TOP_LEVEL_KEYS},
        FaultRow{"HugeTableHeader", "[" + dotted(30000) + "]\n", "Error while parsing table header" + TOO_DEEP},
        FaultRow{"ArrayOfTablesPastLimit", "[[" + dotted(100) + "]]\n", "Error while parsing table header" + TOO_DEEP},
        // Each of these parts is an array of tables and its last element: the deepest tree allowed.
        FaultRow{"ArraysOfTablesAtLimit", arrays_of_tables(99), "unknown field `a`, " + TOP_LEVEL_KEYS},
        FaultRow{"KeysBelowHeader", "[" + dotted(60) + "]\n" + dotted(41) + " = 1\n", "Error while parsing key" + TOO_DEEP},
        FaultRow{"ArraysAtLimit", "x = " + repeated("[", 99) + repeated("]", 99) + "\n", "unknown field `x`, " + TOP_LEVEL_KEYS},
        FaultRow{"HugeArrays", "x = " + repeated("[", 30000) + "\n", "Error while parsing array" + TOO_DEEP},
        FaultRow{"InlineTablePastLimit", "x = " + repeated("[", 99) + "{" + repeated("]", 99) + "\n",
                 "Error while parsing inline table" + TOO_DEEP},
        FaultRow{"HugeInlineTables", "x = " + repeated("{ a = ", 30000) + "\n", "Error while parsing key" + TOO_DEEP},
        // toml++ looks each table up among all the others: their number is bounded too.
        FaultRow{"TablesPastLimit", numbered("[t", "]\n", 10001), "Error while parsing table header: more than 10000 tables"},
        FaultRow{"DottedTablesPastLimit", numbered("t", ".x = 1\n", 10001), "Error while parsing key: more than 10000 tables"},
        // Brackets inside strings and comments do not nest; newlines inside an array do not end it.
        FaultRow{"StringsAndCommentsDoNotNest",
                 "s = \"[[{\"\nt = '''\n[[[\n'''\n# [[[[\nx = [ # [[\n" + repeated("[", 98) + "\n" + repeated("]", 99) + "\n",
                 "unknown field `s`, " + TOP_LEVEL_KEYS}),
    test::RowName{});

TEST(DecodeProfile, Toml11FeaturesAreRead) {
    // Newlines and a trailing comma in an inline table, \x and \e escapes, and a line-ending
    // backslash followed by a non-ASCII letter.
    const std::string text = CAPABILITY_HEAD +
                             "id = \"c\"\nconfidence = \"assumed\"\nsources = [\"s\"]\n"
                             "access = {\n  method = \"wmi\",\n  class = \"C\",\n  property = \"P\",\n}\n"
                             "notes = \"\\x41\\e\"\n"
                             "label = \"\"\"Mode \\\n    économie\"\"\"\n";
    const auto decoded = decode_profile(text);
    ASSERT_TRUE(decoded) << decoded.error().message;
    ASSERT_EQ(decoded->capabilities.size(), 1u);
    EXPECT_EQ(decoded->capabilities[0].access, (Access{Wmi{.class_name = "C", .property = "P"}}));
    EXPECT_EQ(decoded->capabilities[0].notes, "A\x1B");
    EXPECT_EQ(decoded->capabilities[0].label, "Mode économie");
}

struct PositionRow {
    std::string name;
    std::string text;
    std::string first_line;
};

class ReportPosition : public testing::TestWithParam<PositionRow> {};

TEST_P(ReportPosition, OpensWithLineAndColumn) {
    const auto decoded = decode_profile(GetParam().text);
    ASSERT_FALSE(decoded);
    EXPECT_EQ(first_line(decoded.error().message), "TOML invalide : " + GetParam().first_line)
        << decoded.error().message;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReportPosition,
    testing::Values(
        // The value of a key.
        PositionRow{"Value", with_line("scope", R"(scope = "Model")"), "TOML parse error at line 4, column 9"},
        // An undeclared key.
        PositionRow{"Key", with_line("mtm", "  model = []"), "TOML parse error at line 7, column 3"},
        // An element of a list.
        PositionRow{"Element", with_line("mtm", R"(mtm = ["20AB", 3])"), "TOML parse error at line 7, column 16"},
        // A missing key of a [table]: its header.
        PositionRow{"MissingInHeader", with_line("sources = [\"fiche", ""), "TOML parse error at line 9, column 1"},
        // A missing key of an inline table: the table.
        PositionRow{"MissingInInline", with_line("bounds", "bounds =   { min = 0 }"), "TOML parse error at line 16, column 12"},
        // A missing key of the document: its start.
        PositionRow{"MissingAtTop", "\n\nid = \"x\"\n", "TOML parse error at line 1, column 1"},
        // Columns count characters, not bytes.
        PositionRow{"AfterNonAscii",
                    "schema_version = 1\nid = \"é\"\ndisplay_name = \"P\"\nscope = \"model\"\n"
                    "matches = { version_contains = [\"éé\"], zzz = 1 }\n",
                    "TOML parse error at line 5, column 40"},
        PositionRow{"Syntax", with_line("id", "id = = 1"), "TOML parse error at line 2, column 6"},
        PositionRow{"PlusInKey", "\n  ab+c = 1\n", "TOML parse error at line 2, column 5"}),
    test::RowName{});

INSTANTIATE_TEST_SUITE_P(
    Nesting, ReportPosition,
    testing::Values(
        // The 101st part.
        PositionRow{"KeyPart", "\nx = 1\n  " + dotted(30000) + " = 1\n", "TOML parse error at line 3, column 203"},
        PositionRow{"HeaderPart", "[\"é\"]\n[" + dotted(30000) + "]\n", "TOML parse error at line 2, column 202"},
        // The 100th bracket, after the key's level.
        PositionRow{"Bracket", "x = " + repeated("[", 30000) + "\n", "TOML parse error at line 1, column 104"},
        // The part that names the 10,001st table.
        PositionRow{"Table", "[a]\n" + numbered("  k", ".x.y = 1\n", 5000), "TOML parse error at line 5001, column 9"}),
    test::RowName{});

// toml++ is given the text without its comments' text: what a comment holds must not change what
// the rest reads, and a comment that toml++ refuses is reported where it stands.
INSTANTIATE_TEST_SUITE_P(
    Comments, ReportPosition,
    testing::Values(
        PositionRow{"ControlCharacter", "schema_version = 1 # a\x01" "b\n", "TOML parse error at line 1, column 23"},
        PositionRow{"CarriageReturnWithoutLineFeed", "\n# a\rb\n", "TOML parse error at line 2, column 5"},
        PositionRow{"CarriageReturnAtTheEnd", "x = 1 # a\r", "TOML parse error at line 1, column 11"},
        PositionRow{"NotUtf8", "x = 1\n# \xC3\x28\n", "TOML parse error at line 2, column 2"},
        // A comment that toml++ accepts, and a fault before it on its line or after it on the next.
        PositionRow{"FaultBeforeComment", "\nid = = 1 # é\n", "TOML parse error at line 2, column 6"},
        PositionRow{"FaultAfterComment", "# é \"\n  id = 1\n", "TOML parse error at line 2, column 8"}),
    test::RowName{});

struct CommentRow {
    std::string name;
    std::string display_name_line;  // replaces COMPLETE's, comments around it
    std::string display_name;       // as decoded
};

class CommentText : public testing::TestWithParam<CommentRow> {};

TEST_P(CommentText, LeavesTheRestAsWritten) {
    const auto decoded = decode_profile(with_line("display_name", GetParam().display_name_line));
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(decoded->display_name, GetParam().display_name);
    EXPECT_EQ(decoded->matches.mtm, (std::vector<std::string>{"20AB", "20AC"}));
}

INSTANTIATE_TEST_SUITE_P(
    Strings, CommentText,
    testing::Values(
        CommentRow{"HashInBasicString", R"(display_name = "A # b" # c)", "A # b"},
        CommentRow{"HashInLiteralString", R"(display_name = 'A # b' # c "d)", "A # b"},
        CommentRow{"EscapedQuoteBeforeHash", R"(display_name = "A \" # b" # c)", R"(A " # b)"},
        CommentRow{"HashInMultiLineString", "display_name = \"\"\"A\n# b \"\" \\\"\"\" # c\"\"\"", "A\n# b \"\" \"\"\" # c"},
        CommentRow{"HashInMultiLineLiteral", "display_name = '''\n# b\n'''''", "# b\n''"},
        CommentRow{"QuotesInComments", "# l'exemple \"x\ndisplay_name = \"A\" # '''", "A"},
        CommentRow{"CarriageReturnsEndLines", "# é\r\ndisplay_name = \"A\" #\tb\r\n#", "A"}),
    test::RowName{});

TEST(DecodeProfile, ReportShowsTheLineAndMarksTheValue) {
    const auto decoded = decode_profile(with_line("scope", "scope =\t\"Model\" # mauvais"));
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().message,
              "TOML invalide : TOML parse error at line 4, column 9\n"
              "  |\n"
              "4 | scope =\t\"Model\" # mauvais\n"
              "  |        \t^^^^^^^\n"
              "unknown variant `Model`, expected `model` or `family`");
}

TEST(DecodeProfile, ReportMarksWhereNestingGoesTooDeep) {
    const auto decoded = decode_profile("x = " + repeated("[", 101));
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().message, "TOML invalide : TOML parse error at line 1, column 104\n  |\n1 | x = " +
                                           repeated("[", 101) + "\n  | " + std::string(103, ' ') +
                                           "^\nError while parsing array" + TOO_DEEP);
}

// A valid profile whose last line is one access table of about `bytes` bytes: many keys, or an
// array of many floats. Each key and float is located in the text while the document is checked.
std::string one_long_line(std::size_t bytes, bool floats) {
    std::string text = CAPABILITY_HEAD + CAPABILITY_REST + "access = { method = \"platform_profile\", ";
    const std::size_t end = text.size() + bytes;
    if (floats) text += "values = [";
    for (std::size_t i = 0; text.size() < end; ++i) text += floats ? std::to_string(i) + ".5, " : "k" + std::to_string(i) + " = 1, ";
    text += floats ? "] }\n" : "}\n";
    return text;
}

// A guard, not a measure (bench/profiles_bench.cpp has the figures): decoding such a line of
// 256 KiB takes milliseconds, and took over half a minute when each lookup walked its line.
TEST(DecodeProfile, LongLineDecodesInLinearTime) {
    for (const bool floats : {false, true}) {
        const std::string text = one_long_line(256 << 10, floats);
        const auto start = std::chrono::steady_clock::now();
        const auto decoded = decode_profile(text);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(decoded) << decoded.error().message.substr(decoded.error().message.rfind('\n'));
        EXPECT_LT(elapsed, std::chrono::seconds(10)) << (floats ? "floats" : "keys");
    }
}

TEST(DecodeProfile, ReportOfAnEmptyDocument) {
    const auto decoded = decode_profile("");
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().message,
              "TOML invalide : TOML parse error at line 1, column 1\n  |\n1 | \n  | ^\nmissing field `schema_version`");
}

TEST(DecodeProfile, MalformedDocumentsAreReportedNotFatal) {
    // Inputs that break toml++'s internal preconditions or reach its unreachable branches.
    for (const std::string_view text : {"[[[1]]]", "[&", "[[=", "[a.\xCE\xBC]", "a = \"\"\"x\\  \xC3\xA9\"\"\"",
                                        "a = \"\"\"\\\xC3\xA9\"\"\"", "\xFF\xFE", "a = \"\xC3\""}) {
        const auto decoded = decode_profile(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_EQ(decoded.error().kind, ProfileErrorKind::Toml);
        EXPECT_TRUE(decoded.error().message.starts_with("TOML invalide : TOML parse error at line "))
            << decoded.error().message;
    }
}

}  // namespace
}  // namespace vantrel
