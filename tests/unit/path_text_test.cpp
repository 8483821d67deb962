// Paths taken apart as text: no file system, so the native build runs these too.
#include <gtest/gtest.h>

#include <string>

#include "sys/path_text.h"

TEST(PathText, PartsTable) {
    const struct {
        const wchar_t* path;
        const wchar_t* dir;
        const wchar_t* name;
        const wchar_t* stemOfPathOrEmpty;
        const wchar_t* stemOfNameOrWholeName;
    } cases[] = {
        {L"C:\\Setup\\Velmora_Setup.exe", L"C:\\Setup", L"Velmora_Setup.exe", L"Velmora_Setup",
         L"Velmora_Setup"},
        {L"Velmora_Setup.exe", L"", L"Velmora_Setup.exe", L"Velmora_Setup", L"Velmora_Setup"},
        // A name without a full stop never carries an address, however it reads.
        {L"C:\\Setup\\Velmora_Setup_https_localhost_443", L"C:\\Setup",
         L"Velmora_Setup_https_localhost_443", L"", L"Velmora_Setup_https_localhost_443"},
        {L"C:\\a.b\\setup.x.exe", L"C:\\a.b", L"setup.x.exe", L"setup.x", L"setup.x"},
        {L"C:\\Setup\\", L"C:\\Setup", L"", L"", L""},
        {L"", L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << c.path);
        EXPECT_EQ(FolderOfPath(c.path), c.dir);
        EXPECT_EQ(NameOfPath(c.path), c.name);
        EXPECT_EQ(StemOfPathOrEmpty(c.path), c.stemOfPathOrEmpty);
        EXPECT_EQ(StemOfNameOrWholeName(NameOfPath(c.path)), c.stemOfNameOrWholeName);
    }
}

TEST(PathText, TrimBackslashesTable) {
    const struct {
        const wchar_t* path;
        const wchar_t* withoutLeading;
        const wchar_t* withoutTrailing;
    } cases[] = {
        {L"C:\\Temp\\", L"C:\\Temp\\", L"C:\\Temp"},
        {L"C:\\Temp\\\\\\", L"C:\\Temp\\\\\\", L"C:\\Temp"},
        {L"C:\\Temp", L"C:\\Temp", L"C:\\Temp"},
        {L"C:\\Users\\me\\AppData\\Local\\Temp\\", L"C:\\Users\\me\\AppData\\Local\\Temp\\",
         L"C:\\Users\\me\\AppData\\Local\\Temp"},
        // A drive's root keeps its backslash: "C:" alone is the drive's current directory.
        {L"C:\\", L"C:\\", L"C:\\"},
        {L"C:\\\\", L"C:\\\\", L"C:\\"},
        {L"\\\\Software\\Velmora\\", L"Software\\Velmora\\", L"\\\\Software\\Velmora"},
        {L"\\\\", L"", L""},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << c.path);
        EXPECT_EQ(TrimLeadingBackslashes(c.path), c.withoutLeading);
        EXPECT_EQ(TrimTrailingBackslashes(c.path), c.withoutTrailing);
    }
}

// Device names in every spelling are refused as text, before anything is opened.
TEST(PathText, PlainFilePathRefusesDevicesInEverySpelling) {
    const struct {
        const wchar_t* path;
        bool plain;
    } cases[] = {
        {L"C:\\logs\\trace.log", true},
        {L"C:/logs/trace.log", true},
        {L"\\\\server\\share\\trace.log", true},
        {L"\\\\?\\UNC\\server\\share\\trace.log", true},
        {L"//./pipe/x", false},
        {L"\\/.\\pipe\\x", false},
        {L"//./COM10", false},
        {L"\\\\localhost\\pipe\\x", false},
        {L"//127.0.0.1/PIPE/x", false},
        {L"\\\\localhost\\pipe.\\x", false},
        {L"\\\\server\\mailslot\\x", false},
        {L"\\\\?\\UNC\\localhost\\pipe\\x", false},
        {L"/?\?/C:/x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPlainFilePath(c.path), c.plain) << c.path;
}
