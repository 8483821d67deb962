#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "sys/module_info.h"
#include "sys/path_text.h"

TEST(ModuleInfo, PathPartsTable) {
    struct Case {
        const wchar_t* path;
        const wchar_t* dir;
        const wchar_t* name;
        const wchar_t* baseName;
        const wchar_t* nameWithoutExtension;
    };
    const Case cases[] = {
        {L"C:\\Setup\\Velmora_Setup.exe", L"C:\\Setup", L"Velmora_Setup.exe", L"Velmora_Setup",
         L"Velmora_Setup"},
        {L"Velmora_Setup.exe", L"", L"Velmora_Setup.exe", L"Velmora_Setup", L"Velmora_Setup"},
        {L"C:\\Setup\\Velmora_Setup", L"C:\\Setup", L"Velmora_Setup", L"", L"Velmora_Setup"},
        {L"C:\\a.b\\setup.x.exe", L"C:\\a.b", L"setup.x.exe", L"setup.x", L"setup.x"},
        {L"C:\\Setup\\", L"C:\\Setup", L"", L"", L""},
        {L"", L"", L"", L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "path case " << (&c - cases));
        EXPECT_EQ(DirOfPath(c.path), c.dir);
        EXPECT_EQ(NameOfPath(c.path), c.name);
        EXPECT_EQ(BaseNameOfPath(c.path), c.baseName);
        EXPECT_EQ(NameWithoutExtension(NameOfPath(c.path)), c.nameWithoutExtension);
    }
}

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
