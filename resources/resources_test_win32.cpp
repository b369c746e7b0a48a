// Reads the version record and the icon back from the built vantrel.exe, as Explorer would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/util/executable_path_win32.hpp"
#include "src/util/text_win32.hpp"

namespace vantrel {
namespace {

// vantrel.exe is built beside the test binary.
std::wstring built_executable() {
    const std::wstring self = win32::executable_path().value_or(L"");
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"vantrel.exe";
}

std::string version_string(const std::vector<char>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\000004b0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0) return "<absent>";
    return win32::to_utf8(static_cast<const wchar_t*>(value)).value_or("<UTF-16 invalide>");
}

TEST(ExecutableResources, VersionRecordIsTheProducts) {
    const std::wstring exe = built_executable();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version record in vantrel.exe";
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));

    EXPECT_EQ(version_string(block, L"ProductName"), "Vantrel");
    EXPECT_EQ(version_string(block, L"ProductVersion"), "2.1.0");
    EXPECT_EQ(version_string(block, L"FileVersion"), "2.1.0");
    EXPECT_EQ(version_string(block, L"FileDescription"), "Vantrel : interface en ligne de commande");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 2));  // 2.1
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);              // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 2));
}

#pragma pack(push, 2)
struct IconGroupEntry {  // GRPICONDIRENTRY
    BYTE width, height, colours, reserved;
    WORD planes, bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(ExecutableResources, IconHoldsFourPngImagesOf32Bits) {
    const std::wstring exe = built_executable();
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr) << "no icon group 1";
    const auto* header = static_cast<const WORD*>(LockResource(LoadResource(module, group)));
    ASSERT_NE(header, nullptr);
    const WORD count = header[2];
    const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 3);

    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        sizes.push_back(entries[i].width == 0 ? 256 : entries[i].width);
        EXPECT_EQ(entries[i].width, entries[i].height);
        EXPECT_EQ(entries[i].bit_count, 32);
        HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(entries[i].id), RT_ICON);
        ASSERT_NE(image, nullptr);
        const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, image)));
        ASSERT_GE(SizeofResource(module, image), 8u);
        EXPECT_EQ(std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8), 0) << "image " << i << " is not PNG";
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 256}));
    FreeLibrary(module);
}

}  // namespace
}  // namespace vantrel
