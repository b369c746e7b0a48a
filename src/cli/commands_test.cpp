#include "src/cli/commands.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "src/cli/documents.hpp"
#include "tests/support/firmware_stored.hpp"
#include "tests/support/profile_samples.hpp"
#include "tests/support/table_builder.hpp"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using smbios_fixture::TableBuilder;

// Counts reads, so a test can tell whether the firmware was consulted at all.
class CountingSource final : public FirmwareSource {
public:
    explicit CountingSource(StoredFirmwareSource inner) : inner_(std::move(inner)) {}
    std::expected<std::vector<std::uint8_t>, HalError> read_smbios_table() override {
        ++reads;
        return inner_.read_smbios_table();
    }
    int reads = 0;

private:
    StoredFirmwareSource inner_;
};

std::vector<std::uint8_t> thinkpad_table() {
    TableBuilder table;
    table.structure(0, {1, 2, 0, 0, 3}, {"LENOVO", "1.23", "01/02/2024"})
        .structure(1, {1, 2, 3}, {"LENOVO", "20ABCTO1WW", "ThinkPad Exemple 14 Gen 2"})
        .end_of_table();
    return table.bytes();
}

class DetectCommand : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vantrel-detect-" + std::string(testing::UnitTest::GetInstance()
                                                                                ->current_test_info()
                                                                                ->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string dir() const {
        const auto text = dir_.u8string();
        return std::string(text.begin(), text.end());
    }

    fs::path dir_;
};

const std::string MODEL_20AB = profile_samples::model_profile("m", "M");

TEST_F(DetectCommand, ResolvesTheFirmwaresIdentityAgainstTheCatalogue) {
    write("m.toml", MODEL_20AB);
    CountingSource firmware{StoredFirmwareSource(thinkpad_table())};
    const auto report = detect(dir(), firmware, "windows-native");
    ASSERT_TRUE(report) << report.error();
    EXPECT_EQ(firmware.reads, 1);
    EXPECT_NE(report->find("  \"resolution\": \"exact\",\n  \"profile_id\": \"m\",\n  \"profiles_loaded\": 1,\n"),
              std::string::npos)
        << *report;
}

TEST_F(DetectCommand, BadProfileFailsBeforeTheFirmwareIsRead) {
    write("m.toml", MODEL_20AB);
    write("z.toml", profile_samples::model_profile("   ", "M"));
    CountingSource firmware{StoredFirmwareSource(thinkpad_table())};
    const auto report = detect(dir(), firmware, "windows-native");
    ASSERT_FALSE(report);
    EXPECT_EQ(firmware.reads, 0);
    EXPECT_TRUE(report.error().starts_with("profils (" + dir() + ") : ")) << report.error();
    EXPECT_TRUE(report.error().ends_with("z.toml : profil «     » : identifiant vide")) << report.error();
}

TEST_F(DetectCommand, FirmwareFailureIsItsDisplayForm) {
    CountingSource firmware{StoredFirmwareSource(HalError{HalErrorKind::AccessDenied, "lecture de la table RSMB refusée"})};
    const auto report = detect(dir(), firmware, "windows-native");
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error(), "accès refusé : lecture de la table RSMB refusée");
}

TEST_F(DetectCommand, MissingDirectoryNamesTheDirectoryAsGiven) {
    CountingSource firmware{StoredFirmwareSource(thinkpad_table())};
    const auto report = detect("absent-profiles", firmware, "windows-native");
    ASSERT_FALSE(report);
    EXPECT_EQ(firmware.reads, 0);
    EXPECT_TRUE(report.error().starts_with("profils (absent-profiles) : ")) << report.error();
}

TEST_F(DetectCommand, ListingUsesTheSameLoader) {
    write("m.toml", MODEL_20AB);
    write("ignored.TOML", "not read");
    const auto listing = list_profiles(dir());
    ASSERT_TRUE(listing) << listing.error();
    EXPECT_NE(listing->find("\"id\": \"m\""), std::string::npos);
    EXPECT_EQ(listing->find("ignored"), std::string::npos);
    EXPECT_EQ(list_profiles(dir() + "/absent").error().rfind("profils (" + dir() + "/absent) : ", 0), 0u);
}

}  // namespace
}  // namespace vantrel
