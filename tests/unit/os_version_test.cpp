#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/child_process.h"
#include "sys/os_version.h"

TEST(GetOSVersion, AgreesWithTheSystemsOwnComparison) {
    DWORD major = 0;
    DWORD minor = 0;
    ASSERT_TRUE(GetOSVersion(major, minor));
    EXPECT_GE(major, 5u);
    EXPECT_TRUE(IsOSVersionAtLeast(major, minor));
    EXPECT_FALSE(IsOSVersionAtLeast(major, minor + 1));
    EXPECT_FALSE(IsOSVersionAtLeast(major + 1, 0));
    EXPECT_TRUE(IsOSVersionAtLeast(5, 0));
    EXPECT_FALSE(IsOSVersionAtLeast(0xFFFF, 0));

    DWORD againMajor = 1;
    DWORD againMinor = 1;
    ASSERT_TRUE(GetOSVersion(againMajor, againMinor));
    EXPECT_EQ(againMajor, major);
    EXPECT_EQ(againMinor, minor);
}

// Wine shows each program file the Windows version configured for its name. Windows 10's
// workstation service answers 10.0; Wine's answers what the version functions tell a program
// without a compatibility manifest, 6.2, and that is what the first method gives there.
TEST(GetOSVersion, FollowsTheSystemVersionOfEachProgram) {
    struct Case {
        const wchar_t* wineVersion;
        const wchar_t* exeName;
        DWORD major;
        DWORD minor;
    };
    const Case cases[] = {
        {L"winxp", L"OsProbeXP.exe", 5, 1},
        {L"win7", L"OsProbe7.exe", 6, 1},
        {L"win10", L"OsProbe10.exe", 6, 2},
    };
    TempFolder folder(L"os_version");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version case " << (&c - cases));
        std::wstring program = folder.File(c.exeName);
        ASSERT_TRUE(CopyProgram(FixturePath(L"os_version_probe.exe"), program));
        SetWineVersionFor(c.exeName, c.wineVersion);
        std::wstring report = folder.File(L"report.txt");
        DeleteFileW(report.c_str());
        long exitCode = RunToEnd(program, L"\"" + report + L"\"");
        ForgetWineVersionFor(c.exeName);
        ASSERT_EQ(exitCode, 0);

        std::istringstream lines(ReadWholeFile(report));
        int ok = 0, againOk = 0, atLeastSame = 0, atLeastNextMinor = 0, atLeastNextMajor = 0;
        DWORD major = 0, minor = 0, againMajor = 0, againMinor = 0;
        lines >> ok >> major >> minor >> againOk >> againMajor >> againMinor >> atLeastSame >>
            atLeastNextMinor >> atLeastNextMajor;
        ASSERT_FALSE(lines.fail());
        EXPECT_EQ(ok, 1);
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(againOk, 1);
        EXPECT_EQ(againMajor, c.major);
        EXPECT_EQ(againMinor, c.minor);
        EXPECT_EQ(atLeastSame, 1);
        EXPECT_EQ(atLeastNextMinor, 0);
        EXPECT_EQ(atLeastNextMajor, 0);
    }
}
