#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "sys/module_info.h"
#include "sys/scoped_handle.h"

namespace {

const wchar_t kProgramPath[] = VELMORA_DIST_DIR_W L"\\Velmora_Setup.exe";

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupIconDir {
    WORD reserved;
    WORD type;
    WORD count;
    GroupIconEntry entries[1];
};
#pragma pack(pop)

std::string ResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type) {
    HRSRC info = FindResourceW(module, name, type);
    if (info == nullptr) {
        return std::string();
    }
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, info)));
    return data ? std::string(data, SizeofResource(module, info)) : std::string();
}

TEST(Resources, HeaderBitmapIs55By60With24Bits) {
    ScopedGdiObject bitmap(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_HEADER),
                                      IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_TRUE(bitmap.IsValid());
    DIBSECTION dib = {};
    ASSERT_EQ(GetObjectW(bitmap.Get(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 55);
    EXPECT_EQ(dib.dsBm.bmHeight, 60);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
}

// The product stands on white: the corners are white, the middle is not.
TEST(Resources, HeaderBitmapShowsAProductOnWhite) {
    ScopedGdiObject bitmap(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_HEADER),
                                      IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_TRUE(bitmap.IsValid());
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    HGDIOBJ previous = SelectObject(dc.Get(), bitmap.Get());
    const COLORREF white = RGB(255, 255, 255);
    EXPECT_EQ(GetPixel(dc.Get(), 0, 0), white);
    EXPECT_EQ(GetPixel(dc.Get(), 54, 0), white);
    EXPECT_EQ(GetPixel(dc.Get(), 0, 59), white);
    EXPECT_EQ(GetPixel(dc.Get(), 54, 59), white);
    EXPECT_NE(GetPixel(dc.Get(), 27, 30), white);
    EXPECT_NE(GetPixel(dc.Get(), 15, 20), white);
    SelectObject(dc.Get(), previous);
}

TEST(Resources, IconHasFiveSizesOf32Bits) {
    HMODULE module = GetModuleHandleW(nullptr);
    std::string group = ResourceBytes(module, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupIconDir));
    const GroupIconDir* dir = reinterpret_cast<const GroupIconDir*>(group.data());
    ASSERT_EQ(dir->count, 5);
    ASSERT_EQ(group.size(), 6 + 5 * sizeof(GroupIconEntry));
    std::vector<int> sizes;
    for (int i = 0; i < dir->count; ++i) {
        const GroupIconEntry& entry = dir->entries[i];
        sizes.push_back(entry.width == 0 ? 256 : entry.width);
        EXPECT_EQ(entry.width, entry.height);
        EXPECT_EQ(entry.bitCount, 32);
    }
    EXPECT_EQ(sizes, (std::vector<int>{128, 72, 48, 32, 16}));
}

TEST(Resources, IconLoadsAtEverySize) {
    for (int size : {128, 72, 48, 32, 16}) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                                   MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                   size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        ScopedGdiObject color(info.hbmColor);
        ScopedGdiObject mask(info.hbmMask);
        BITMAP bits = {};
        GetObjectW(color.Get(), sizeof(bits), &bits);
        EXPECT_EQ(bits.bmWidth, size);
        EXPECT_EQ(bits.bmHeight, size);
        DestroyIcon(icon);
    }
}

TEST(Resources, ProgramAsksForAdministratorRights) {
    ScopedLibrary program(LoadLibraryExW(kProgramPath, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program.IsValid());
    std::string manifest =
        ResourceBytes(program.Get(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_FALSE(manifest.empty());
    for (const char* part :
         {"<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>",
          "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
          "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true"
          "</dpiAware>"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

TEST(Resources, ProgramCarriesItsVersion) {
    EXPECT_EQ(GetFileVersionString(kProgramPath), L"1.0.0.1");

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(kProgramPath, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(kProgramPath, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

    wchar_t* productName = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041204b0\\ProductName",
                               reinterpret_cast<void**>(&productName), &length));
    EXPECT_STREQ(productName, L"Velmora_Setup");
}

TEST(Resources, ProgramCarriesThePageTemplatesAndArtwork) {
    ScopedLibrary program(LoadLibraryExW(kProgramPath, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program.IsValid());
    for (int id : {IDD_ABOUTBOX, IDD_VELMORA_SETUP_DIALOG, IDD_DOWNLOAD_PAGE}) {
        EXPECT_FALSE(ResourceBytes(program.Get(), MAKEINTRESOURCEW(id), RT_DIALOG).empty()) << id;
    }
    EXPECT_FALSE(ResourceBytes(program.Get(), MAKEINTRESOURCEW(IDB_HEADER), RT_BITMAP).empty());
    EXPECT_FALSE(
        ResourceBytes(program.Get(), MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON).empty());
}

}  // namespace
