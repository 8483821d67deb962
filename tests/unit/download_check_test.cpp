#include <gtest/gtest.h>

#include <string>

#include "install/download_check.h"
#include "sys/scoped_handle.h"
#include "tests/support/child_process.h"
#include "tests/support/test_files.h"

namespace {

// The check on the file at path, opened for reading for the check alone; a missing or
// unreadable file is no program.
bool IsWindowsProgramFile(const std::wstring& path) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && IsWholeWindowsProgram(file.Get());
}

struct FileCase {
    const char* label;
    std::string bytes;
    bool program;
};

TEST(DownloadCheck, TextsAndHeadersAloneAreNoPrograms) {
    TempFolder dir(L"download_check");
    const FileCase cases[] = {
        {"signature alone", "MZ", false},
        {"signature and more", std::string("MZ\x90\0\x03", 5) + std::string(200, '\0'), false},
        {"error page", "<html><body>404 Not Found</body></html>", false},
        {"empty", "", false},
    };
    for (const FileCase& c : cases) {
        std::wstring path = dir.File(L"download.exe");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        EXPECT_EQ(IsWindowsProgramFile(path), c.program) << c.label;
    }
    EXPECT_FALSE(IsWindowsProgramFile(dir.File(L"missing.exe")));
    EXPECT_FALSE(IsWindowsProgramFile(dir.Path()));
}

TEST(DownloadCheck, TheBuiltProgramsAreWholeAndTheirCutCopiesAreNot) {
    TempFolder dir(L"download_cut");
    for (std::wstring program : {std::wstring(VELMORA_DIST_DIR_W L"\\Velmora_Setup.exe"),
                                 FixturePath(L"fake_installer.exe")}) {
        ASSERT_TRUE(IsWindowsProgramFile(program));
        std::string bytes = ReadWholeFile(program);
        ASSERT_GT(bytes.size(), 4096u);
        for (size_t size : {bytes.size() - 1, bytes.size() / 2, size_t{1024}}) {
            std::wstring path = dir.File(L"cut.exe");
            ASSERT_TRUE(WriteWholeFile(path, bytes.substr(0, size)));
            EXPECT_FALSE(IsWindowsProgramFile(path)) << size;
        }
    }
}

// The handle-based check reads through the caller's handle, also one opened without sharing.
TEST(DownloadCheck, TheOpenHandleIsJudgedWhereverItsPointerStands) {
    TempFolder dir(L"download_handle");
    std::wstring path = dir.File(L"held.exe");
    ASSERT_TRUE(WriteWholeFile(path, ReadWholeFile(FixturePath(L"fake_agent.exe"))));
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER middle;
    middle.QuadPart = 3000;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), middle, nullptr, FILE_BEGIN));
    EXPECT_TRUE(IsWholeWindowsProgram(file.Get()));
    EXPECT_FALSE(IsWholeWindowsProgram(INVALID_HANDLE_VALUE));
}

}  // namespace
