#include "src/profiles/catalogue.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "src/util/unique_handle_win32.hpp"
#else
#include <sys/stat.h>
#endif

#include "src/profiles/profile_files.hpp"
#include "tests/support/profile_samples.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char SEPARATOR = '\\';
#else
constexpr char SEPARATOR = '/';
#endif

std::string utf8_of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

using profile_samples::model_profile;

// A valid profile followed by `extra`.
std::string model(std::string_view id, std::string_view extra = "") { return model_profile(id) + std::string(extra); }

// A fresh directory under the temporary directory, removed with everything in it.
class ProfileDir {
public:
    explicit ProfileDir(std::u8string_view leaf = u8"profils") {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() / ("vantrel-catalogue-" + std::to_string(counter++) + "-" +
                                              std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        path_ = root_ / fs::path(leaf);
        fs::create_directories(path_);
    }
    ProfileDir(const ProfileDir&) = delete;
    ProfileDir& operator=(const ProfileDir&) = delete;
    ~ProfileDir() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    void write(const std::string& name, std::string_view content) const {
        std::ofstream out(path_ / fs::path(std::u8string(name.begin(), name.end())), std::ios::binary);
        out << content;
    }
    void make_dir(const std::string& name) const { fs::create_directory(path_ / name); }

    [[nodiscard]] std::string dir() const { return utf8_of(path_); }
    [[nodiscard]] std::string path_of(const std::string& name) const { return dir() + SEPARATOR + name; }
    [[nodiscard]] std::string root() const { return utf8_of(root_); }

private:
    fs::path root_;
    fs::path path_;
};

std::vector<std::string> ids_of(const ProfileCatalogue& catalogue) {
    std::vector<std::string> ids;
    for (const MachineProfile& profile : catalogue) ids.push_back(profile.id);
    return ids;
}

TEST(LoadProfiles, EmptyDirectoryGivesEmptyCatalogue) {
    const ProfileDir dir;
    const auto loaded = load_profiles(dir.dir());
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_TRUE(loaded->empty());
}

TEST(LoadProfiles, KeepsOnlyTheTomlExtension) {
    const ProfileDir dir;
    // Every ignored file would fail if it were read.
    for (const char* ignored : {"README.md", "x.TOML", "x.toml.bak", ".toml", "toml", "x.", "x.tomll"})
        dir.write(ignored, "pas du TOML");
    dir.write("x.y.toml", model("x.y"));
    dir.write("..toml", model("point"));
    const auto loaded = load_profiles(dir.dir());
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(ids_of(*loaded), (std::vector<std::string>{"point", "x.y"}));
}

TEST(LoadProfiles, OrdersByTheBytesOfTheNames) {
    const ProfileDir dir;
    for (const char* name : {"p9", "a", "B", "p10", "a-1", "é", "z"}) dir.write(std::string(name) + ".toml", model(name));
    const auto loaded = load_profiles(dir.dir());
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(ids_of(*loaded), (std::vector<std::string>{"B", "a-1", "a", "p10", "p9", "z", "é"}));
}

TEST(LoadProfiles, KeepsDuplicateIdsInFileOrder) {
    const ProfileDir dir;
    dir.write("b.toml", model("same"));
    dir.write("a.toml", model_profile("same", "first"));
    const auto loaded = load_profiles(dir.dir());
    ASSERT_TRUE(loaded) << loaded.error().message;
    ASSERT_EQ(loaded->size(), 2u);
    EXPECT_EQ((*loaded)[0].display_name, "first");
    EXPECT_EQ((*loaded)[1].display_name, "D");
}

struct FailureRow {
    std::string name;
    std::string content;
    std::string error;  // after "{path} : "
};

class LoadFailure : public testing::TestWithParam<FailureRow> {};

TEST_P(LoadFailure, NamesTheFirstFailingFile) {
    const ProfileDir dir;
    dir.write("a.toml", model("a"));
    dir.write("b.toml", GetParam().content);
    dir.write("c.toml", "ceci n'est pas lu");
    const auto loaded = load_profiles(dir.dir());
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().message, dir.path_of("b.toml") + " : " + GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LoadFailure,
    testing::Values(
        FailureRow{"Schema", "schema_version = 2\nid = \"\"\ndisplay_name = \"D\"\nscope = \"model\"\nmatches = {}\n",
                   "version de schéma 2 non supportée (attendu 1)"},
        FailureRow{"Rule", model("   ").replace(model("   ").find("20AB"), 4, "20A"), "profil «     » : identifiant vide"},
        FailureRow{"Toml", "schema_version = 2\nauthor = 1\n",
                   "TOML invalide : TOML parse error at line 2, column 1\n  |\n2 | author = 1\n  | ^^^^^^\n"
                   "unknown field `author`, expected one of `schema_version`, `id`, `display_name`, `scope`, "
                   "`matches`, `capabilities`"}),
    test::RowName{});

TEST(LoadProfiles, NotUtf8DoesNotNameTheFile) {
    const ProfileDir dir;
    dir.write("a.toml", "id = \"\xC3\x28\"\n");
    const auto loaded = load_profiles(dir.dir());
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().message, "stream did not contain valid UTF-8");
}

TEST(LoadProfiles, UnreadableEntryBeforeInvalidFile) {
    const ProfileDir dir;
    dir.make_dir("a.toml");
    dir.write("b.toml", "invalide");
    const auto loaded = load_profiles(dir.dir());
    ASSERT_FALSE(loaded);
#ifdef _WIN32
    EXPECT_TRUE(loaded.error().message.ends_with(" (os error 5)")) << loaded.error().message;
#else
    EXPECT_EQ(loaded.error().message, "Is a directory (os error 21)");
#endif
}

TEST(LoadProfiles, MissingDirectoryIsThePlatformError) {
    const ProfileDir dir;
    const auto loaded = load_profiles(dir.path_of("absent"));
    ASSERT_FALSE(loaded);
#ifdef _WIN32
    EXPECT_TRUE(loaded.error().message.ends_with(" (os error 3)")) << loaded.error().message;
    EXPECT_GT(loaded.error().message.size(), std::string(" (os error 3)").size());
#else
    EXPECT_EQ(loaded.error().message, "No such file or directory (os error 2)");
#endif
}

TEST(LoadProfiles, FileInsteadOfDirectoryIsThePlatformError) {
    const ProfileDir dir;
    dir.write("a.toml", model("a"));
    const auto loaded = load_profiles(dir.path_of("a.toml"));
    ASSERT_FALSE(loaded);
#ifdef _WIN32
    EXPECT_TRUE(loaded.error().message.find(" (os error ") != std::string::npos) << loaded.error().message;
#else
    EXPECT_EQ(loaded.error().message, "Not a directory (os error 20)");
#endif
}

TEST(LoadProfiles, EmptyDirectoryNameIsAnError) {
    const auto loaded = load_profiles("");
    ASSERT_FALSE(loaded);
}

TEST(LoadProfiles, NonAsciiDirectoryAndTrailingSeparator) {
    const ProfileDir dir(u8"profilés");
    dir.write("é.toml", "schema_version = 3\n" + model("x").substr(19));
    const auto loaded = load_profiles(dir.dir() + SEPARATOR);
    ASSERT_FALSE(loaded);
    // The separator the name already ends with is not doubled.
    EXPECT_EQ(loaded.error().message, dir.path_of("é.toml") + " : version de schéma 3 non supportée (attendu 1)");
}

TEST(LoadProfiles, FileBeyondTheBoundIsRefusedWithoutBeingParsed) {
    const ProfileDir dir;
    dir.write("a.toml", model("a", "# " + std::string(MAX_PROFILE_FILE_BYTES, 'x') + "\n"));
    const auto loaded = load_profiles(dir.dir());
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().message,
              dir.path_of("a.toml") + " : fichier trop volumineux pour un profil (plus de 4194304 octets)");
}

// Enough files for the loader to share them out between threads.
constexpr int MANY_FILES = 400;

std::string numbered_file(int number) {
    const std::string digits = std::to_string(number);
    return "p" + std::string(3 - digits.size(), '0') + digits + ".toml";
}

TEST(LoadProfiles, ManyFilesKeepNameOrder) {
    const ProfileDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < MANY_FILES; ++i) {
        names.push_back(numbered_file(i));
        dir.write(names.back(), model(names.back()));
    }
    const auto loaded = load_profiles(dir.dir());
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(ids_of(*loaded), names);
}

// A long valid document of a schema that is not supported: slow to fail, so that files after it
// that fail at once have failed before it.
std::string slow_to_fail() {
    std::string text = "schema_version = 3\n" + model("lent").substr(std::string_view("schema_version = 1\n").size());
    for (int i = 0; i < 2000; ++i) {
        text += "[[capabilities]]\nid = \"c" + std::to_string(i) +
                "\"\nlabel = \"L\"\naccess = { method = \"platform_profile\" }\nconfidence = \"assumed\"\nsources = [\"s\"]\n";
    }
    return text;
}

struct FirstFailureRow {
    std::string name;
    std::string content;  // of the first failing file, p050.toml
    std::string error;  // "{path}" stands for that file's path
};

class FirstFailureAmongMany : public testing::TestWithParam<FirstFailureRow> {};

// Whichever file fails first in time, the failure reported is the one a load in name order meets
// first, and nothing else comes back.
TEST_P(FirstFailureAmongMany, IsTheOneMetFirstInNameOrder) {
    const ProfileDir dir;
    for (int i = 0; i < MANY_FILES; ++i) {
        const std::string name = numbered_file(i);
        if (i == 50) {
            dir.write(name, GetParam().content);
        } else if (i == 100) {
            dir.make_dir(name);
        } else if (i == 200) {
            dir.write(name, "\xFF");
        } else if (i == 300) {
            dir.write(name, "invalide");
        } else {
            dir.write(name, model(name));
        }
    }
    std::string error = GetParam().error;
    if (const std::size_t path = error.find("{path}"); path != std::string::npos)
        error.replace(path, std::string_view("{path}").size(), dir.path_of(numbered_file(50)));
    const auto loaded = load_profiles(dir.dir());
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().message, error);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FirstFailureAmongMany,
    testing::Values(
        FirstFailureRow{"SlowSchema", slow_to_fail(),
                        "{path} : version de schéma 3 non supportée (attendu 1)"},
        FirstFailureRow{"Toml", "schema_version = 2\nauthor = 1\n",
                        "{path} : TOML invalide : TOML parse error at line 2, column 1\n  |\n2 | author = 1\n  | ^^^^^^\n"
                        "unknown field `author`, expected one of `schema_version`, `id`, `display_name`, `scope`, "
                        "`matches`, `capabilities`"},
        FirstFailureRow{"NotUtf8", "id = \"\xC3\x28\"\n", "stream did not contain valid UTF-8"},
        FirstFailureRow{"TooLarge", model("a", "# " + std::string(MAX_PROFILE_FILE_BYTES, 'x') + "\n"),
                       
                        "{path} : fichier trop volumineux pour un profil (plus de 4194304 octets)"}),
    test::RowName{});

// Writes "p?.toml", where "?" has no UTF-8 form: an invalid byte natively, a lone surrogate on
// Windows. Gives the system's error code when the file system refuses such a name (Wine's does).
unsigned long write_name_without_utf8(const ProfileDir& dir, std::string_view content) {
#ifdef _WIN32
    const std::wstring path = fs::path(dir.dir()).wstring() + L"\\p" + wchar_t(0xD800) + L".toml";
    const win32::UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
#else
    std::ofstream(fs::path(dir.dir()) / "p\xFF.toml", std::ios::binary) << content;
#endif
    return 0;
}

TEST(LoadProfiles, NameWithoutUtf8FormIsLoadedAndShownWithAReplacementCharacter) {
    const ProfileDir valid;
    if (const unsigned long refused = write_name_without_utf8(valid, model("a")); refused != 0) {
        GTEST_SKIP() << "this file system refuses a file name with a lone surrogate (error " << refused << ")";
    }
    const auto loaded = load_profiles(valid.dir());
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(ids_of(*loaded), std::vector<std::string>{"a"});

    const ProfileDir invalid;
    ASSERT_EQ(write_name_without_utf8(invalid, "x = 1\n"), 0U);
    const auto refused = load_profiles(invalid.dir());
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().message.starts_with(invalid.path_of("p\uFFFD.toml") + " : TOML invalide : "))
        << refused.error().message;
}

#ifdef _WIN32
// Where the file system refuses such names (Wine), the form the loader keeps them in is still
// checked: a lone surrogate is shown as U+FFFD, a pair as its character.
TEST(ProfilePaths, LoneSurrogateIsShownAsAReplacementCharacter) {
    EXPECT_EQ(display_path("d\\p\xED\xA0\x80\xF0\x9F\x98\x80.toml"), "d\\p\uFFFD\U0001F600.toml");
}
#endif

#ifndef _WIN32
// Read, a FIFO would wait for a writer for ever, and /dev/zero would never end.
TEST(LoadProfiles, EntryThatIsNotARegularFileFailsAtOnce) {
    const ProfileDir fifo;
    ASSERT_EQ(mkfifo((fifo.dir() + "/x.toml").c_str(), 0600), 0);
    const ProfileDir device;
    fs::create_symlink("/dev/zero", fs::path(device.dir()) / "z.toml");
    for (const ProfileDir* dir : {&fifo, &device}) {
        const auto loaded = load_profiles(dir->dir());
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().message, "Invalid argument (os error 22)");
    }
}
#endif

TEST(ParseProfile, TurnsEachStepIntoItsKind) {
    const auto toml = parse_profile("x = 1");
    ASSERT_FALSE(toml);
    EXPECT_EQ(toml.error().kind, ProfileErrorKind::Toml);
    EXPECT_TRUE(toml.error().message.starts_with("TOML invalide : TOML parse error at line 1, column 1\n"));

    const auto invalid = parse_profile(model("m").replace(model("m").find("20AB"), 4, "20-B"));
    ASSERT_FALSE(invalid);
    EXPECT_EQ(invalid.error().kind, ProfileErrorKind::Invalid);
    EXPECT_EQ(invalid.error().message, "profil « m » : MTM mal formé : « 20-B »");

    const auto valid = parse_profile(model("m"));
    ASSERT_TRUE(valid) << valid.error().message;
    EXPECT_EQ(valid->matches.mtm, std::vector<std::string>{"20AB"});
}

TEST(ShippedProfiles, AllLoad) {
    const auto loaded = load_profiles(VANTREL_SHIPPED_PROFILES);
    ASSERT_TRUE(loaded) << loaded.error().message;
    std::size_t models = 0;
    std::size_t families = 0;
    for (const MachineProfile& profile : *loaded) (profile.scope == ProfileScope::Model ? models : families)++;
    EXPECT_GE(models, 3u);
    EXPECT_GE(families, 1u);
}

}  // namespace
}  // namespace vantrel
