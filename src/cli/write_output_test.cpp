#include "src/cli/write_output.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>

#include "src/cli/standard_stream.hpp"
#include "src/util/os_error.hpp"

#ifdef _WIN32
#include <windows.h>

#include "src/util/unique_handle_win32.hpp"
#endif

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& p) {
    const auto text = p.u8string();
    return std::string(text.begin(), text.end());
}

class WriteOutput : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vantrel-write-" + std::to_string(testing::UnitTest::GetInstance()->random_seed()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
    std::ostringstream out_;
};

TEST_F(WriteOutput, StdoutGetsTheDocumentAndOneLineFeed) {
    const auto written = write_output("{\n  \"a\": 1\n}", std::nullopt, out_);
    EXPECT_TRUE(written) << written.error();
    EXPECT_EQ(out_.str(), "{\n  \"a\": 1\n}\n");
}

// Standard output on a full disk: every write is refused with the system's code.
class FullDiskStreamBuf : public std::streambuf, public StreamWriteError {
public:
    static constexpr unsigned long CODE = 28;
    [[nodiscard]] unsigned long write_error() const override { return refused_ ? CODE : 0; }

protected:
    int_type overflow(int_type) override { return refuse(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return refuse(); }

private:
    int refuse() {
        refused_ = true;
        return traits_type::eof();
    }
    bool refused_ = false;
};

TEST_F(WriteOutput, RefusedStandardOutputFailsWithTheSystemsReason) {
    FullDiskStreamBuf buffer;
    std::ostream out(&buffer);
    const auto written = write_output("{}", std::nullopt, out);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), "écriture de la sortie standard : " + describe_os_error(FullDiskStreamBuf::CODE));
}

TEST_F(WriteOutput, FileGetsTheSameBytesAndReplacesALongerContent) {
    const fs::path file = dir_ / "rapport é.json";
    std::ofstream(file, std::ios::binary) << std::string(10000, 'x');
    const auto written = write_output("{}", utf8(file), out_);
    EXPECT_TRUE(written) << written.error();
    EXPECT_EQ(read(file), "{}\n");
    EXPECT_EQ(out_.str(), "");
}

#ifdef _WIN32
// Windows refuses to create a hidden or system file anew over an existing one; whoever wants the
// report there (a hidden file of their own) gets it replaced all the same, attributes kept, also
// while a reader holds it open.
TEST_F(WriteOutput, HiddenSystemFileHeldByAReaderIsReplacedWhole) {
    const fs::path file = dir_ / "rapport.json";
    std::ofstream(file, std::ios::binary) << std::string(10000, 'x');
    const DWORD hidden_system = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), hidden_system));
    const win32::UniqueFileHandle reader(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);

    const auto written = write_output("{}", utf8(file), out_);
    EXPECT_TRUE(written) << written.error();
    char bytes[16] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(reader.get(), bytes, sizeof bytes, &got, nullptr));
    EXPECT_EQ(std::string(bytes, got), "{}\n");
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & hidden_system, hidden_system);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

TEST_F(WriteOutput, MissingDirectoryIsNotCreatedAndFailsWithTheSystemsReason) {
    const std::string path = utf8(dir_ / "absent" / "r.json");
    const auto written = write_output("{}", path, out_);
    ASSERT_FALSE(written);
    EXPECT_EQ(out_.str(), "");
    const std::string prefix = "écriture de " + path + " : ";
    ASSERT_TRUE(written.error().starts_with(prefix)) << written.error();
    const std::string reason = written.error().substr(prefix.size());
    EXPECT_TRUE(reason.ends_with(")")) << reason;  // "... (os error N)"
    EXPECT_GT(reason.size(), std::string(" (os error 2)").size());
    EXPECT_FALSE(fs::exists(dir_ / "absent"));
}

TEST_F(WriteOutput, ADirectoryInPlaceOfTheFileFails) {
    const auto written = write_output("{}", utf8(dir_), out_);
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().starts_with("écriture de " + utf8(dir_) + " : ")) << written.error();
}

}  // namespace
}  // namespace vantrel
