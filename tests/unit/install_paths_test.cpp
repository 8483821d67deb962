#include <gtest/gtest.h>

#include <windows.h>
#include <string>

#include "install/install_paths.h"

namespace {

// Found through the Windows directory, whatever the user's environment says.
TEST(InstallPaths, MachineTempFolderLiesInTheWindowsFolder) {
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
    wchar_t savedTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TEMP", L"C:\\users");
    std::wstring dir = MachineTempFolder();
    SetEnvironmentVariableW(L"TEMP", savedTemp);
    std::wstring systemTemp = std::wstring(windows) + L"\\SystemTemp";
    DWORD systemTempAttributes = GetFileAttributesW(systemTemp.c_str());
    bool hasSystemTemp = systemTempAttributes != INVALID_FILE_ATTRIBUTES &&
                         (systemTempAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(dir, std::wstring(windows) + (hasSystemTemp ? L"\\SystemTemp" : L"\\Temp"));
    DWORD attributes = GetFileAttributesW(dir.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(InstallPaths, BaseAndSiteFolders) {
    std::wstring base = BaseFolderPath(L"C:\\Program Files (x86)");
    EXPECT_EQ(base, L"C:\\Program Files (x86)\\Velmora");
    EXPECT_EQ(SiteFolderPath(base, L"Sales"), L"C:\\Program Files (x86)\\Velmora\\Sales");
}

}  // namespace
