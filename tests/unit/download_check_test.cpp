#include <gtest/gtest.h>

#include <string>

#include "install/download_check.h"
#include "tests/support/test_files.h"

namespace {

struct FileCase {
    const char* label;
    std::string bytes;
    bool program;
};

TEST(DownloadCheck, OnlyFilesStartingWithMzArePrograms) {
    TempFolder dir(L"download_check");
    const FileCase cases[] = {
        {"signature alone", "MZ", true},
        {"signature and more", std::string("MZ\x90\0\x03", 5) + std::string(200, '\0'), true},
        {"error page", "<html><body>404 Not Found</body></html>", false},
        {"lower case", "mz", false},
        {"reversed", "ZM", false},
        {"one byte", "M", false},
        {"empty", "", false},
        {"signature later", " MZ", false},
    };
    for (const FileCase& c : cases) {
        std::wstring path = dir.File(L"download.exe");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        EXPECT_EQ(IsWindowsProgramFile(path), c.program) << c.label;
    }
    EXPECT_FALSE(IsWindowsProgramFile(dir.File(L"missing.exe")));
    EXPECT_FALSE(IsWindowsProgramFile(dir.Path()));
}

TEST(DownloadCheck, TheBuiltProgramIsAProgram) {
    EXPECT_TRUE(IsWindowsProgramFile(VELMORA_DIST_DIR_W L"\\Velmora_Setup.exe"));
}

TEST(DownloadCheck, ShortOnlyWhenTheAnnouncedSizeIsKnownAndNotReached) {
    TempFolder dir(L"download_short");
    const std::wstring path = dir.File(L"download.exe");
    ASSERT_TRUE(WriteWholeFile(path, std::string(1000, 'x')));
    const struct {
        int announced;
        bool shortDownload;
    } cases[] = {
        {200000, true}, {1001, true}, {1000, false}, {999, false},
        {0, false},     {-1, false},  {-2, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsShortDownload(path, c.announced), c.shortDownload) << c.announced;
    }
}

TEST(DownloadCheck, AMissingFileIsShortOfAnyPositiveSize) {
    TempFolder dir(L"download_missing");
    const std::wstring path = dir.File(L"missing.exe");
    EXPECT_TRUE(IsShortDownload(path, 1));
    EXPECT_FALSE(IsShortDownload(path, 0));
    EXPECT_FALSE(IsShortDownload(path, -1));
}

}  // namespace
