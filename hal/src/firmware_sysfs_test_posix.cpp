#include "hal/src/firmware_sysfs_posix.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class SysfsSource : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vantrel-sysfs-" + std::to_string(::getpid()) + "-" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    fs::path dir_;
};

TEST_F(SysfsSource, ReturnsTheFileAsItIsWhateverItsSize) {
    // Larger than one read, and not a multiple of it.
    std::vector<std::uint8_t> bytes(20001);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    const auto table = SysfsFirmwareSource(write("DMI", bytes)).read_smbios_table();
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(*table, bytes);

    const auto empty = SysfsFirmwareSource(write("empty", {})).read_smbios_table();
    ASSERT_TRUE(empty.has_value()) << empty.error().display();
    EXPECT_TRUE(empty->empty());
}

TEST_F(SysfsSource, MissingFileIsUnavailableAndNamesThePath) {
    const std::string path = (dir_ / "tables" / "DMI").string();
    const auto table = SysfsFirmwareSource(path).read_smbios_table();
    ASSERT_FALSE(table.has_value());
    EXPECT_EQ(table.error().kind, HalErrorKind::Unavailable);
    EXPECT_EQ(table.error().display(), "ressource non disponible : table SMBIOS absente (" + path + ")");
}

TEST_F(SysfsSource, OtherFailuresCarryTheSystemDescription) {
    const std::string path = dir_.string();  // a directory opens, but cannot be read
    const auto table = SysfsFirmwareSource(path).read_smbios_table();
    ASSERT_FALSE(table.has_value());
    EXPECT_EQ(table.error().kind, HalErrorKind::Unavailable);
    EXPECT_EQ(table.error().message,
              "lecture de la table SMBIOS impossible (" + path + ") : " + std::strerror(EISDIR));
}

TEST_F(SysfsSource, UnreadableFileIsAccessDenied) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads a file of mode 000; firmware_e2e.py runs this case as nobody";
    const std::string path = write("DMI", {127, 4, 0, 0, 0, 0});
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    const auto table = SysfsFirmwareSource(path).read_smbios_table();
    ASSERT_FALSE(table.has_value());
    EXPECT_EQ(table.error().display(), "accès refusé : lecture de la table SMBIOS refusée (" + path + ")");
}

TEST(SysfsErrors, PermissionErrnosAreAccessDenied) {
    for (int error : {EACCES, EPERM}) {
        const HalError e = sysfs_read_error(error, "/sys/firmware/dmi/tables/DMI");
        EXPECT_EQ(e.kind, HalErrorKind::AccessDenied);
        EXPECT_EQ(e.message, "lecture de la table SMBIOS refusée (/sys/firmware/dmi/tables/DMI)");
    }
    EXPECT_EQ(sysfs_read_error(EIO, "/x").display(),
              std::string("ressource non disponible : lecture de la table SMBIOS impossible (/x) : ") + std::strerror(EIO));
}

}  // namespace
}  // namespace vantrel
