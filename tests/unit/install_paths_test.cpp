#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "install/install_paths.h"
#include "sys/path_text.h"

namespace {

TEST(InstallPaths, TrimTrailingBackslashesRemovesEveryOne) {
    const struct {
        std::wstring path;
        std::wstring trimmed;
    } cases[] = {
        {L"C:\\Temp\\", L"C:\\Temp"},
        {L"C:\\Temp\\\\\\", L"C:\\Temp"},
        {L"C:\\Temp", L"C:\\Temp"},
        {L"C:\\Users\\me\\AppData\\Local\\Temp\\", L"C:\\Users\\me\\AppData\\Local\\Temp"},
        {L"\\\\", L""},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimTrailingBackslashes(c.path), c.trimmed) << c.path.size();
}

TEST(InstallPaths, TempDirectoryHasNoSeparatorAtItsEnd) {
    std::wstring dir = GetTempDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), L'\\');
    DWORD attributes = GetFileAttributesW(dir.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(InstallPaths, BaseAndSiteDirectories) {
    std::wstring base = BaseDirectoryPath(L"C:\\Program Files (x86)");
    EXPECT_EQ(base, L"C:\\Program Files (x86)\\Velmora");
    EXPECT_EQ(SiteDirectoryPath(base, L"Sales"), L"C:\\Program Files (x86)\\Velmora\\Sales");
}

TEST(InstallPaths, DescriptorCopyReplacesEveryOccurrenceOfTheTempDirectory) {
    const struct {
        std::wstring downloaded;
        std::wstring tempDir;
        std::wstring siteDir;
        std::wstring target;
    } cases[] = {
        {L"C:\\Temp\\velmora_server.exe", L"C:\\Temp", L"C:\\Program Files\\Velmora\\Sales",
         L"C:\\Program Files\\Velmora\\Sales\\velmora_server.exe"},
        {L"T\\a\\T\\velmora_server.exe", L"T", L"S", L"S\\a\\S\\velmora_server.exe"},
        {L"C:\\Temp\\velmora_server.exe", L"D:\\Other", L"C:\\Site",
         L"C:\\Temp\\velmora_server.exe"},
        {L"C:\\Temp\\velmora_server.exe", L"", L"C:\\Site", L"C:\\Temp\\velmora_server.exe"},
        {L"aaaa", L"aa", L"b", L"bb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescriptorCopyPath(c.downloaded, c.tempDir, c.siteDir), c.target);
    }
}

}  // namespace
