#include "hal/src/firmware_rsmb.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/table_builder.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using smbios_fixture::Bytes;
using smbios_fixture::rsmb_buffer;
using test::PrintTo;

// Stands in for GetSystemFirmwareTable: answers the size query with `needed`, then writes up to
// the buffer's size of `content` and returns `reported`. Records every call.
struct FakeFirmwareTable {
    FakeFirmwareTable(std::uint32_t needed, Bytes content, std::uint32_t reported)
        : needed(needed), content(std::move(content)), reported(reported) {}

    std::uint32_t needed;
    Bytes content;
    std::uint32_t reported;

    struct Call {
        std::uint32_t provider, table_id, size;
        bool has_buffer;
        bool buffer_was_zeroed;
    };
    std::vector<Call> calls;

    FirmwareTableFunction function() {
        return [this](std::uint32_t provider, std::uint32_t table_id, std::uint8_t* buffer, std::uint32_t size) {
            bool zeroed = true;
            for (std::uint32_t i = 0; buffer != nullptr && i < size; ++i) zeroed = zeroed && buffer[i] == 0;
            calls.push_back({provider, table_id, size, buffer != nullptr, zeroed});
            if (buffer == nullptr) return needed;
            std::memcpy(buffer, content.data(), std::min<std::size_t>(size, content.size()));
            return reported;
        };
    }
};

// A firmware that returns exactly the buffer it announced.
FakeFirmwareTable honest(const Bytes& buffer) {
    const auto size = static_cast<std::uint32_t>(buffer.size());
    return FakeFirmwareTable(size, buffer, size);
}

const Bytes TABLE = smbios_fixture::machine_table({.system_manufacturer = "Framework", .system_product_name = "Laptop 13"});

TEST(RsmbSource, AsksForTheSizeThenReadsIntoAZeroedBufferOfThatSize) {
    FakeFirmwareTable firmware = honest(rsmb_buffer(TABLE));
    const auto table = RsmbFirmwareSource(firmware.function()).read_smbios_table();
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(*table, TABLE);
    ASSERT_EQ(firmware.calls.size(), 2u);
    EXPECT_EQ(firmware.calls[0].provider, 0x52534D42u);  // 'RSMB', R in the high byte
    EXPECT_EQ(firmware.calls[0].table_id, 0u);
    EXPECT_FALSE(firmware.calls[0].has_buffer);
    EXPECT_EQ(firmware.calls[0].size, 0u);
    EXPECT_EQ(firmware.calls[1].provider, 0x52534D42u);
    EXPECT_EQ(firmware.calls[1].table_id, 0u);
    EXPECT_TRUE(firmware.calls[1].has_buffer);
    EXPECT_TRUE(firmware.calls[1].buffer_was_zeroed);
    EXPECT_EQ(firmware.calls[1].size, TABLE.size() + 8);
}

struct RsmbFailure {
    const char* name;
    FakeFirmwareTable firmware;
    HalErrorKind kind;
    std::string display;
    std::size_t calls;
};

class RsmbFailures : public testing::TestWithParam<RsmbFailure> {};

TEST_P(RsmbFailures, ReportKindAndMessage) {
    FakeFirmwareTable firmware = GetParam().firmware;
    const auto table = RsmbFirmwareSource(firmware.function()).read_smbios_table();
    ASSERT_FALSE(table.has_value());
    EXPECT_EQ(table.error().kind, GetParam().kind);
    EXPECT_EQ(table.error().display(), GetParam().display);
    EXPECT_EQ(firmware.calls.size(), GetParam().calls);  // nothing is retried
}

const Bytes SHORT_TABLE{127, 4, 0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Answers, RsmbFailures,
    testing::Values(
        RsmbFailure{"NoTable", FakeFirmwareTable(0, {}, 0), HalErrorKind::Unavailable, "ressource non disponible : table RSMB absente", 1},
        RsmbFailure{"ReadRefused", FakeFirmwareTable(14, rsmb_buffer(SHORT_TABLE), 0), HalErrorKind::AccessDenied,
                    "accès refusé : lecture de la table RSMB refusée", 2},
        // The table grew between the two calls: the service wants a larger buffer.
        RsmbFailure{"TableGrew", FakeFirmwareTable(14, rsmb_buffer(SHORT_TABLE), 15), HalErrorKind::AccessDenied,
                    "accès refusé : lecture de la table RSMB refusée", 2},
        RsmbFailure{"SevenBytes", FakeFirmwareTable(7, {0, 3, 4, 0, 0, 0, 0}, 7), HalErrorKind::InvalidData,
                    "données invalides : en-tête RSMB trop court", 2},
        RsmbFailure{"SevenOfManyBytes", FakeFirmwareTable(64, rsmb_buffer(SHORT_TABLE), 7), HalErrorKind::InvalidData,
                    "données invalides : en-tête RSMB trop court", 2},
        RsmbFailure{"LengthOneTooLong", honest(rsmb_buffer(SHORT_TABLE, 7)), HalErrorKind::InvalidData,
                    "données invalides : longueur RSMB incohérente", 2},
        // The length must fit in what was returned, not in the buffer that was allocated.
        RsmbFailure{"LengthFitsBufferNotReturnedBytes", FakeFirmwareTable(64, rsmb_buffer(SHORT_TABLE, 20, Bytes(50, 0)), 14),
                    HalErrorKind::InvalidData, "données invalides : longueur RSMB incohérente", 2},
        // 8 + L wraps around in 32 bits for these lengths.
        RsmbFailure{"LengthWrapsTo0", honest(rsmb_buffer(SHORT_TABLE, 0xFFFFFFF8u)), HalErrorKind::InvalidData,
                    "données invalides : longueur RSMB incohérente", 2},
        RsmbFailure{"LengthMaximal", honest(rsmb_buffer(SHORT_TABLE, 0xFFFFFFFFu)), HalErrorKind::InvalidData,
                    "données invalides : longueur RSMB incohérente", 2}),
    test::RowName{});

TEST(RsmbSource, LengthZeroIsAnEmptyTable) {
    FakeFirmwareTable firmware = honest(rsmb_buffer({}, 0, {0xAA, 0xBB}));
    const auto table = RsmbFirmwareSource(firmware.function()).read_smbios_table();
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_TRUE(table->empty());
}

TEST(RsmbSource, ShortReadThatCoversTheTableSucceeds) {
    // Announced 100 bytes, returned 8 + 6; the rest of the buffer is not the table.
    FakeFirmwareTable firmware(100, rsmb_buffer(SHORT_TABLE), 14);
    const auto table = RsmbFirmwareSource(firmware.function()).read_smbios_table();
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(*table, SHORT_TABLE);
}

TEST(RsmbSource, BytesAfterTheAnnouncedLengthAreNotReturned) {
    FakeFirmwareTable firmware = honest(rsmb_buffer(SHORT_TABLE, 6, {0xDE, 0xAD, 0xBE, 0xEF}));
    const auto table = RsmbFirmwareSource(firmware.function()).read_smbios_table();
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(*table, SHORT_TABLE);
}

TEST(RsmbSource, HeaderVersionBytesAreIgnored) {
    Bytes buffer = rsmb_buffer(SHORT_TABLE);
    std::fill_n(buffer.begin(), 4, std::uint8_t{0xFF});
    FakeFirmwareTable firmware = honest(buffer);
    const auto table = RsmbFirmwareSource(firmware.function()).read_smbios_table();
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(*table, SHORT_TABLE);
}

}  // namespace
}  // namespace vantrel
