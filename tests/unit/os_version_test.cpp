#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/child_process.h"
#include "sys/os_version.h"
#include "sys/os_version_test_hook.h"

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

// The platform's answers stand in for a system where the workstation service is stopped, or
// NtDll.dll has no RtlGetVersion: Wine's service always answers, so only this seam reaches the
// methods behind it. VerifyVersionInfoW stays the real one.
namespace {

struct PlatformAnswers {
    bool workstation;
    DWORD workstationMajor, workstationMinor;
    bool native;
    DWORD nativeMajor, nativeMinor;
    bool versionFunctions;
    DWORD platformId, functionsMajor, functionsMinor;
};

PlatformAnswers g_answers;
int g_workstationCalls = 0;
int g_nativeCalls = 0;
int g_versionFunctionCalls = 0;

bool FakeWorkstation(DWORD& major, DWORD& minor) {
    ++g_workstationCalls;
    major = g_answers.workstationMajor;
    minor = g_answers.workstationMinor;
    return g_answers.workstation;
}

bool FakeNative(RTL_OSVERSIONINFOW& info) {
    ++g_nativeCalls;
    if (info.dwOSVersionInfoSize != sizeof(info) || info.dwMajorVersion != 0) return false;
    info.dwMajorVersion = g_answers.nativeMajor;
    info.dwMinorVersion = g_answers.nativeMinor;
    return g_answers.native;
}

bool FakeVersionFunctions(OSVERSIONINFOEXW& info) {
    ++g_versionFunctionCalls;
    if (info.dwOSVersionInfoSize != sizeof(info)) return false;
    info.dwPlatformId = g_answers.platformId;
    info.dwMajorVersion = g_answers.functionsMajor;
    info.dwMinorVersion = g_answers.functionsMinor;
    return g_answers.versionFunctions;
}

const OsVersionPlatform kFake = {FakeWorkstation, FakeNative, FakeVersionFunctions};

// The version this process runs under as VerifyVersionInfoW sees it.
void RealVersion(DWORD& major, DWORD& minor) {
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    auto rtlGetVersion = reinterpret_cast<LONG(WINAPI*)(PRTL_OSVERSIONINFOW)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    rtlGetVersion(&info);
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
}

}  // namespace

TEST(GetOSVersion, MethodsInTurnAndOnlyTheWorkstationServiceIsCached) {
    DWORD realMajor = 0, realMinor = 0;
    RealVersion(realMajor, realMinor);
    ASSERT_GE(realMajor, 6u);
    const DWORD nt = VER_PLATFORM_WIN32_NT;
    struct Case {
        const char* label;
        PlatformAnswers answers;
        bool ok;
        DWORD major, minor;
        int workstationCalls, nativeCalls, versionFunctionCalls;  // over two calls
    };
    const Case cases[] = {
        {"service answers and is asked once",
         {true, 10, 0, true, 6, 1, true, nt, 5, 1},
         true,
         10,
         0,
         1,
         0,
         0},
        {"service stopped: the native call, asked every time",
         {false, 0, 0, true, 6, 1, true, nt, 5, 1},
         true,
         6,
         1,
         2,
         2,
         0},
        {"service answers major 0: not cached",
         {true, 0, 3, true, 6, 1, true, nt, 5, 1},
         true,
         6,
         1,
         2,
         2,
         0},
        {"native major 0 counts as missing",
         {false, 0, 0, true, 0, 7, true, nt, 99, 2},
         true,
         99,
         2,
         2,
         2,
         2},
        // Less than the system: probing raises it as far as VerifyVersionInfoW allows.
        {"version functions report 5.1",
         {false, 0, 0, false, 0, 0, true, nt, 5, 1},
         true,
         realMajor,
         realMinor,
         2,
         2,
         2},
        {"version functions above the system stay",
         {false, 0, 0, false, 0, 0, true, nt, 99, 2},
         true,
         99,
         2,
         2,
         2,
         2},
        {"not NT: probing from 0.0",
         {false, 0, 0, false, 0, 0, true, 1, 99, 2},
         true,
         realMajor,
         realMinor,
         2,
         2,
         2},
        {"version functions fail: probing from 0.0",
         {false, 0, 0, false, 0, 0, false, nt, 99, 2},
         true,
         realMajor,
         realMinor,
         2,
         2,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        g_answers = c.answers;
        g_workstationCalls = g_nativeCalls = g_versionFunctionCalls = 0;
        DWORD major = 1, minor = 1, againMajor = 1, againMinor = 1;
        bool ok = false, againOk = false;
        {
            TestSeam<const OsVersionPlatform*>::Override platform(g_osVersionPlatform, &kFake);
            ok = GetOSVersion(major, minor);
            againOk = GetOSVersion(againMajor, againMinor);
        }
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(againOk, c.ok);
        EXPECT_EQ(againMajor, c.major);
        EXPECT_EQ(againMinor, c.minor);
        EXPECT_EQ(g_workstationCalls, c.workstationCalls);
        EXPECT_EQ(g_nativeCalls, c.nativeCalls);
        EXPECT_EQ(g_versionFunctionCalls, c.versionFunctionCalls);
    }
}
