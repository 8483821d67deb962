// The whole setup against the local update server: a copy of the built program named for the
// server runs unattended from start to exit (exit code 0), and what it leaves behind is
// checked; a user who ends the wizard before any step ran gets 1602. The same program runs
// against Debian's nginx (the ctest entry setup_end_to_end_nginx).
// Winsock wants to come before windows.h.
#include "tests/support/loopback_listener.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fixtures/fixture_record.h"
#include "tests/support/child_process.h"
#include "tests/support/setup_runs.h"
#include "tests/support/unattended_setup.h"

namespace {

struct Scheme {
    const char* name;
    const wchar_t* word;
    const wchar_t* portVariable;
};

class SetupEndToEnd : public ::testing::TestWithParam<Scheme> {};

TEST_P(SetupEndToEnd, AutomaticCopyRunsFromStartToExit) {
    const Scheme& scheme = GetParam();
    int port = _wtoi(fixture::EnvironmentValue(scheme.portVariable).c_str());
    ASSERT_GT(port, 0);
    unattended::PublishFakeService(fixture::EnvironmentValue(L"VELMORA_SERVER_ROOT_W"));
    std::wstring exeName = L"Velmora_Setup_" + std::wstring(scheme.word) + L"_" +
                           unattended::kHost + L"_" + std::to_wstring(port) + L".exe";
    unattended::ExpectCompletes(DistPath(L"Velmora_Setup.exe"), exeName, scheme.name, port);
}

INSTANTIATE_TEST_SUITE_P(Schemes, SetupEndToEnd,
                         ::testing::Values(Scheme{"http", L"http", L"VELMORA_HTTP_PORT"},
                                           Scheme{"https", L"https", L"VELMORA_HTTPS_PORT"}),
                         [](const ::testing::TestParamInfo<Scheme>& info) {
                             return std::string(info.param.name);
                         });

// The user ends the wizard by closing it before any installation step ran: on the address
// page of a copy without an address, and after an unattended copy's check found nobody.
struct UserEnd {
    const char* name;
    bool unreachablePreset;
};

class SetupUserEnd : public ::testing::TestWithParam<UserEnd> {};

TEST_P(SetupUserEnd, ExitCodeTellsTheUserEnded) {
    TempFolder folder(L"velmora_user_end");
    std::wstring exeName = GetParam().unreachablePreset
                               ? L"Velmora_Setup_http_127.0.0.1_" +
                                     std::to_wstring(LoopbackListener::ClosedPort()) + L".exe"
                               : L"Velmora_Setup.exe";
    std::wstring program = folder.File(exeName);
    ASSERT_TRUE(CopyProgram(DistPath(L"Velmora_Setup.exe"), program));
    std::wstring logPath = folder.File(L"trace.log");
    SwitchTraceToFile(exeName, logPath);

    ChildProcess setup;
    ASSERT_TRUE(setup.Start(program, L""));
    if (GetParam().unreachablePreset) {
        DWORD start = GetTickCount();
        while (ReadWholeFile(logPath).find("Server web connect fail___") == std::string::npos &&
               GetTickCount() - start < 60000)
            setup.WaitForExit(100);
    }
    long exitCode = -1;
    // The close box, as often as it takes: first the message box, then the page.
    for (int i = 0; i < 60 && exitCode == -1; ++i) {
        setup.CloseWindows();
        exitCode = setup.WaitForExit(500);
    }
    ForgetTraceFor(exeName);
    if (GetParam().unreachablePreset) {
        EXPECT_NE(ReadWholeFile(logPath).find("Server web connect fail___"), std::string::npos);
    }
    EXPECT_EQ(exitCode, 1602);
}

INSTANTIATE_TEST_SUITE_P(Wizard, SetupUserEnd,
                         ::testing::Values(UserEnd{"CloseOnTheAddressPage", false},
                                           UserEnd{"CloseAfterAnUnreachableService", true}),
                         [](const ::testing::TestParamInfo<UserEnd>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
