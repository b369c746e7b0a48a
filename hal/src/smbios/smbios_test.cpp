#include "hal/src/smbios/smbios.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/table_builder.hpp"
#include "tests/support/test_printers.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using smbios_fixture::baseboard_area;
using smbios_fixture::bios_area;
using smbios_fixture::Bytes;
using smbios_fixture::machine_table;
using smbios_fixture::MachineStrings;
using smbios_fixture::THINKPAD_X1_CARBON_GEN9;
using smbios_fixture::system_area;
using smbios_fixture::TableBuilder;
using test::PrintTo;

const std::string REPLACEMENT = "\xEF\xBF\xBD";

SmbiosFields parsed(const Bytes& table) {
    auto fields = parse_smbios(table);
    EXPECT_TRUE(fields.has_value()) << fields.error().display();
    return fields.value_or(SmbiosFields{});
}

SmbiosFields system_only(std::optional<std::string> manufacturer, std::optional<std::string> product = {},
                         std::optional<std::string> version = {}, std::optional<std::string> family = {}) {
    SmbiosFields f;
    f.system_manufacturer = std::move(manufacturer);
    f.system_product_name = std::move(product);
    f.system_version = std::move(version);
    f.system_family = std::move(family);
    return f;
}

// --- Framing -----------------------------------------------------------------------------------

struct MalformedTable {
    const char* name;
    Bytes table;
    std::string message;
};

class Malformed : public testing::TestWithParam<MalformedTable> {};

TEST_P(Malformed, FailsWithInvalidDataAndNoRecord) {
    const auto result = parse_smbios(GetParam().table);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, HalErrorKind::InvalidData);
    EXPECT_EQ(result.error().message, GetParam().message);
    EXPECT_EQ(result.error().display(), "données invalides : " + GetParam().message);
}

Bytes after_bios(const std::function<void(TableBuilder&)>& rest) {
    TableBuilder t;
    t.structure(0, bios_area(1, 2, 0), {"LENOVO", "N1EET50W"});
    rest(t);
    return t.bytes();
}

// A structure of more than 255 bytes before the broken one, so that an offset printed from one
// byte, or in hexadecimal, shows.
Bytes after_long_structure(std::size_t& offset_of_next) {
    TableBuilder t;
    const std::string long_text(300, 'x');
    t.structure(11, {1}, {long_text});
    offset_of_next = t.size();
    t.header(1, 3).raw({0, 0});
    return t.bytes();
}

std::size_t long_offset = 0;
const Bytes long_table = after_long_structure(long_offset);

INSTANTIATE_TEST_SUITE_P(
    Walker, Malformed,
    testing::Values(
        MalformedTable{"LengthTwoAtStart", TableBuilder().header(1, 2).raw({0, 0, 0, 0}).bytes(),
                       "structure SMBIOS invalide à l'offset 0"},
        MalformedTable{"LengthThree", TableBuilder().header(0, 3).raw({0, 0}).bytes(),
                       "structure SMBIOS invalide à l'offset 0"},
        MalformedTable{"FormattedAreaPastEnd", TableBuilder().header(1, 0x1B).raw(Bytes(10, 0)).bytes(),
                       "structure SMBIOS invalide à l'offset 0"},
        MalformedTable{"LaterStructureAtItsOwnOffset",
                       after_bios([](TableBuilder& t) { t.header(2, 1).raw({0, 0}); }),
                       "structure SMBIOS invalide à l'offset " +
                           std::to_string(TableBuilder().structure(0, bios_area(1, 2, 0), {"LENOVO", "N1EET50W"}).size())},
        MalformedTable{"OffsetInDecimalPastOneByte", long_table,
                       "structure SMBIOS invalide à l'offset " + std::to_string(long_offset)},
        MalformedTable{"FormattedAreaEndsAtTableEnd", TableBuilder().header(1, 8).raw({1, 2, 3, 4}).bytes(),
                       "section de chaînes SMBIOS non terminée"},
        MalformedTable{"OneByteAfterFormattedArea", TableBuilder().header(1, 8).raw({1, 2, 3, 4, 0}).bytes(),
                       "section de chaînes SMBIOS non terminée"},
        MalformedTable{"StringsWithoutClosingPair",
                       TableBuilder().structure_with_string_set(1, {1, 0, 0, 0}, {'D', 'e', 'l', 'l', 0}).bytes(),
                       "section de chaînes SMBIOS non terminée"},
        MalformedTable{"NulsApartAreNoPair",
                       TableBuilder().structure_with_string_set(1, {1, 0, 0, 0}, {0, 'a', 0, 'b', 0, 'c'}).bytes(),
                       "section de chaînes SMBIOS non terminée"},
        // The end-of-table structure is framed like any other.
        MalformedTable{"EndOfTableUnterminated", after_bios([](TableBuilder& t) { t.header(127, 4).raw({0}); }),
                       "section de chaînes SMBIOS non terminée"},
        // A type the walker does not read still has to be well formed, and an error after the
        // interesting structures discards them.
        MalformedTable{"UnreadTypeAfterRecord",
                       after_bios([](TableBuilder& t) {
                           t.structure(1, system_area(1, 0, 0, 0), {"Dell Inc."}).header(200, 0);
                           t.raw({0, 0, 0, 0});
                       }),
                       "structure SMBIOS invalide à l'offset " +
                           std::to_string(TableBuilder()
                                              .structure(0, bios_area(1, 2, 0), {"LENOVO", "N1EET50W"})
                                              .structure(1, system_area(1, 0, 0, 0), {"Dell Inc."})
                                              .size())}),
    test::RowName{});

TEST(WalkerFraming, TablesTooShortForAHeaderAreEmptyRecords) {
    for (const Bytes& table : {Bytes{}, Bytes{0x01}, Bytes{0x01, 0x02}, Bytes{0xFF, 0x01, 0x1B}}) {
        SCOPED_TRACE(table.size());
        EXPECT_EQ(parsed(table), SmbiosFields{});
    }
}

TEST(WalkerFraming, ShortestStructureHasLengthFourAndTwoNuls) {
    EXPECT_EQ(parsed(TableBuilder().header(1, 4).raw({0, 0}).bytes()), SmbiosFields{});
    // Four bytes of header, then the last two bytes of the table are the pair.
    EXPECT_EQ(parsed(TableBuilder().structure(1, system_area(1, 0, 0, 0), {"Acer"}).bytes()), system_only("Acer"));
}

TEST(WalkerFraming, UpToThreeTrailingBytesAreIgnored) {
    for (const Bytes& trailer : {Bytes{0xFF}, Bytes{0x01, 0x02}, Bytes{0x01, 0x02, 0x03}}) {
        const Bytes table = TableBuilder().structure(1, system_area(1, 0, 0, 0), {"HP"}).raw(trailer).bytes();
        EXPECT_EQ(parsed(table), system_only("HP")) << trailer.size() << " trailing bytes";
    }
}

TEST(WalkerFraming, TableWithoutEndStructureIsWalkedToItsEnd) {
    TableBuilder t;
    t.structure(4, Bytes(0x26, 0), {"Intel(R) Core(TM)"}).structure(17, Bytes(0x24, 0), {"DIMM A", "BANK 0"});
    t.structure(1, system_area(1, 2, 0, 0), {"Framework", "Laptop 13"});
    EXPECT_EQ(parsed(t.bytes()), system_only("Framework", "Laptop 13"));
}

TEST(WalkerFraming, NothingAfterTheFirstEndStructureIsLookedAt) {
    TableBuilder t;
    t.structure(0, bios_area(1, 0, 0), {"Insyde"}).end_of_table();
    t.structure(1, system_area(1, 0, 0, 0), {"Razer"});
    t.header(1, 2).raw({0xFF, 0xFF});  // malformed, never reached
    t.end_of_table();
    SmbiosFields expected;
    expected.bios_vendor = "Insyde";
    EXPECT_EQ(parsed(t.bytes()), expected);
}

TEST(WalkerFraming, StringSetOfTheEndStructureMayHoldStrings) {
    TableBuilder t;
    t.structure(1, system_area(1, 0, 0, 0), {"MSI"}).structure(127, {}, {"tail"});
    EXPECT_EQ(parsed(t.bytes()), system_only("MSI"));
}

// --- Field extraction --------------------------------------------------------------------------

TEST(WalkerFields, ReadsAllEightFieldsOfAFirmwareTable) {
    const SmbiosFields expected{"LENOVO", "N2HET77W (1.60 )", "02/06/2024", "LENOVO", "20XWCTO1WW",
                                "ThinkPad X1 Carbon Gen 9", "ThinkPad X1 Carbon Gen 9", "20XWCTO1WW"};
    EXPECT_EQ(parsed(machine_table(THINKPAD_X1_CARBON_GEN9)), expected);
}

TEST(WalkerFields, AFieldIsReadOnlyWhenTheFormattedAreaReachesIt) {
    // The first string starts with byte 4: a field read one byte past the formatted area would
    // take that byte as its string number and find "Family".
    const std::initializer_list<std::string_view> strings{"\x04Vendor", "Product", "Version", "Family"};
    // Type 1: Family's number is at 0x1A, so length 0x1A leaves it out and 0x1B reads it.
    for (const auto& [length, family] : {std::pair{0x19, false}, std::pair{0x1A, false}, std::pair{0x1B, true}}) {
        Bytes area = system_area(1, 2, 3, 4);
        area.resize(length - 4);
        const SmbiosFields f = parsed(TableBuilder().structure(1, area, strings).bytes());
        EXPECT_EQ(f.system_version, "Version") << "length " << length;
        EXPECT_EQ(f.system_family.has_value(), family) << "length " << length;
    }
    // Type 0: the release date's number is at 0x08.
    Bytes bios = bios_area(1, 2, 3);
    bios.resize(8 - 4);
    SmbiosFields expected;
    expected.bios_vendor = "\x04Vendor";
    expected.bios_version = "Product";
    EXPECT_EQ(parsed(TableBuilder().structure(0, bios, strings).bytes()), expected);
    bios.resize(5 - 4);
    expected.bios_version.reset();
    EXPECT_EQ(parsed(TableBuilder().structure(0, bios, strings).bytes()), expected);
    // Type 2 of length 5 has no product number; of length 6 it has.
    const std::initializer_list<std::string_view> board{"\x02Maker", "Product"};
    EXPECT_EQ(parsed(TableBuilder().structure(2, {1}, board).bytes()), SmbiosFields{});
    EXPECT_EQ(parsed(TableBuilder().structure(2, {1, 2}, board).bytes()).baseboard_product, "Product");
}

TEST(WalkerFields, StringNumbersOutsideTheSetLeaveTheFieldAbsent) {
    // Manufacturer 0 (no string), product 3 of 2 strings, version 2, family 255.
    const Bytes table = TableBuilder().structure(1, system_area(0, 3, 2, 255), {"Dell Inc.", "Latitude 7420"}).bytes();
    EXPECT_EQ(parsed(table), system_only(std::nullopt, std::nullopt, "Latitude 7420"));
    // A structure without strings.
    EXPECT_EQ(parsed(TableBuilder().structure(1, system_area(1, 1, 1, 1)).bytes()), SmbiosFields{});
}

TEST(WalkerFields, LeadingNulGivesAnEmptyFirstString) {
    const Bytes set{0, 'a', 'b', 'c', 0, 0};
    const Bytes table = TableBuilder().structure_with_string_set(1, system_area(1, 2, 0, 0), set).bytes();
    EXPECT_EQ(parsed(table), system_only(std::nullopt, "abc"));
}

TEST(WalkerFields, TwoFieldsMayShareAString) {
    const Bytes table = TableBuilder().structure(1, system_area(1, 1, 2, 2), {"Microsoft Corporation", "Surface"}).bytes();
    EXPECT_EQ(parsed(table), system_only("Microsoft Corporation", "Microsoft Corporation", "Surface", "Surface"));
}

struct TextCase {
    const char* name;
    std::string raw;
    std::optional<std::string> stored;
};

class WalkerText : public testing::TestWithParam<TextCase> {};

TEST_P(WalkerText, DecodesTrimsAndKeepsTheRest) {
    const Bytes table = TableBuilder().structure(1, system_area(1, 0, 0, 0), {GetParam().raw}).bytes();
    EXPECT_EQ(parsed(table).system_manufacturer, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, WalkerText,
    testing::Values(TextCase{"Plain", "Dell Inc.", "Dell Inc."},
                    TextCase{"SpacesOnly", "     ", std::nullopt},
                    TextCase{"NoBreakSpaceOnly", "\xC2\xA0\xC2\xA0", std::nullopt},
                    TextCase{"TabsAndIdeographicSpace", "\t\xE3\x80\x80\x0B", std::nullopt},
                    TextCase{"SurroundingBlanksDropped", "  HP Inc. \t", "HP Inc."},
                    TextCase{"InnerBlanksKept", "\xE2\x80\x83LG  Electronics\xE2\x80\xAF", "LG  Electronics"},
                    TextCase{"ZeroWidthSpaceIsNotWhiteSpace", "\xE2\x80\x8B", "\xE2\x80\x8B"},
                    TextCase{"InvalidByteReplaced", "Caf\xE9 S.A.", "Caf" + REPLACEMENT + " S.A."},
                    TextCase{"TruncatedSequenceIsOneReplacement", "ab\xE2\x82", "ab" + REPLACEMENT},
                    TextCase{"OverlongIsOneReplacementPerByte", "\xC0\xAF" "x", REPLACEMENT + REPLACEMENT + "x"},
                    TextCase{"ReplacementIsNotBlank", " \xFF ", REPLACEMENT},
                    TextCase{"ValidUtf8Unchanged", "Société Générale™", "Société Générale™"},
                    TextCase{"CaseAndPlaceholdersKept", "To Be Filled By O.E.M.", "To Be Filled By O.E.M."}),
    test::RowName{});

TEST(WalkerFields, OnlyTheFirstStructureOfEachTypeIsRead) {
    TableBuilder t;
    // The first System structure has no product name; the second one's is not used either.
    t.structure(1, system_area(1, 0, 0, 0), {"Gigabyte"});
    t.structure(0, bios_area(1, 0, 0), {"AMI"});
    t.structure(1, system_area(1, 2, 3, 4), {"Other", "Product", "Version", "Family"});
    t.structure(0, bios_area(1, 2, 3), {"Phoenix", "1.0", "01/01/2020"});
    t.structure(2, baseboard_area(0, 0), {});
    t.structure(2, baseboard_area(1, 2), {"Maker", "Board"});
    t.end_of_table();
    SmbiosFields expected = system_only("Gigabyte");
    expected.bios_vendor = "AMI";
    EXPECT_EQ(parsed(t.bytes()), expected);
}

TEST(WalkerFields, OtherTypesAreSkippedWithTheirStrings) {
    TableBuilder t;
    // A type 3 (chassis) and an OEM type whose strings look like a System structure's.
    t.structure(3, {1, 0x0A, 2, 3, 4}, {"Chassis Maker", "1.0"});
    t.structure(0x85, system_area(1, 2, 3, 4), {"OEM", "OEM", "OEM", "OEM"});
    t.structure(2, baseboard_area(1, 2), {"ASUSTeK COMPUTER INC.", "ROG STRIX"});
    t.end_of_table();
    SmbiosFields expected;
    expected.baseboard_product = "ROG STRIX";
    EXPECT_EQ(parsed(t.bytes()), expected);
}

}  // namespace
}  // namespace vantrel
