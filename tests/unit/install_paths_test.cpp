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

}  // namespace
