#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "sys/module_info.h"

TEST(ModuleInfo, ModulePathIsThisTestProgram) {
    EXPECT_EQ(GetModuleName(), L"module_info_test.exe");
    const std::wstring dir = GetModuleDir();
    EXPECT_EQ(_wcsicmp(dir.c_str(), (std::wstring(VELMORA_BINARY_DIR_W) + L"\\tests").c_str()), 0)
        << std::string(dir.begin(), dir.end());
    EXPECT_EQ(GetModulePath(), GetModuleDir() + L"\\" + GetModuleName());
}

TEST(GetFileVersionString, Table) {
    TempFolder folder(L"file_version");
    std::wstring missing = folder.File(L"missing.exe");
    std::wstring textFile = folder.File(L"notes.txt");
    ASSERT_TRUE(WriteWholeFile(textFile, "no version here\r\n"));
    struct Case {
        std::wstring path;
        const wchar_t* version;
    };
    const Case cases[] = {
        {FixturePath(L"version_probe.exe"), L"1.0.3.12"},
        {DistPath(L"velmora-stamp.exe"), L""},
        {textFile, L""},
        {missing, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version case " << (&c - cases));
        EXPECT_EQ(GetFileVersionString(c.path.c_str()), c.version);
    }
    EXPECT_EQ(GetFileVersionString(nullptr), L"");
}
