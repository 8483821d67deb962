// Winsock wants to come before windows.h.
#include "tests/support/loopback_listener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "install/quiet_period_test_hook.h"
#include "install/reachability_probe_test_hook.h"
#include "res/resource.h"
#include "tests/support/page_driver.h"
#include "tests/support/trace_capture.h"
#include "ui/setup_dlg.h"
#include "ui/wizard_state.h"

namespace {

class SetupPageTest : public ::testing::Test {
  protected:
    WizardState state;
};

void WaitForSchemePrefix(HWND page) {
    WaitFor([&] { return !TextOf(GetDlgItem(page, IDC_SCHEME_PREFIX)).empty(); });
}

bool IsShownAndEnabled(HWND control) {
    return IsWindowVisible(control) && IsWindowEnabled(control);
}

struct ProbeCase {
    const wchar_t* typedHost;
    bool https;
    bool closedPort;  // else the given fixed port
    int fixedPort;
    std::string expectedHost;
    std::string expectedUrlWithoutPort;  // the port is appended when it is written
    bool urlHasPort;
    // A port that never takes the connection: the check is given up after the quiet period,
    // shortened here to kProbeQuietMs, as timed out.
    bool unanswered = false;
    // The check's thread cannot be started: the service counts as unreachable.
    bool threadRefused = false;
};

constexpr unsigned long kProbeQuietMs = 2000;

class ProbeUrlTest : public SetupPageTest, public ::testing::WithParamInterface<ProbeCase> {};

// An unreachable address writes the trimmed host, the probe URL and the failure, and shows
// the message box; the page stays as it was.
TEST_P(ProbeUrlTest, LogsTrimmedHostAndProbeUrl) {
    const ProbeCase& c = GetParam();
    // Nobody takes the connection, or a service that would answer a check that never runs.
    std::unique_ptr<LoopbackListener> full;
    if (c.unanswered) full = std::make_unique<LoopbackListener>(LoopbackListener::QueueFull);
    if (c.threadRefused) full = std::make_unique<LoopbackListener>(LoopbackListener::ListenOnly);
    int port = full ? full->Port() : c.closedPort ? LoopbackListener::ClosedPort() : c.fixedPort;
    TestSeam<unsigned long>::Override quiet(g_quietPeriodMs, kProbeQuietMs);
    TestSeam<bool>::Override refused(g_probeThreadRefused, c.threadRefused);
    TraceCapture trace;
    CVelmora_SetupDlg page(state);
    bool sawMessageBox = false;
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        if (c.https) Click(window, IDC_SCHEME_HTTPS);
        SetDlgItemTextW(window, IDC_HOST, c.typedHost);
        SetDlgItemInt(window, IDC_PORT, static_cast<UINT>(port), TRUE);
        PostClick(window, IDC_NEXT);
        HWND box = nullptr;
        sawMessageBox =
            WaitFor([&] { return (box = FindOwnedMessageBox(window)) != nullptr; }, 60000);
        if (box != nullptr) SendMessageW(box, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return FindOwnedMessageBox(window) == nullptr; });
        EXPECT_TRUE(IsShownAndEnabled(GetDlgItem(window, IDC_HOST)));
        Click(window, IDCANCEL);
    });
    EXPECT_TRUE(sawMessageBox);
    std::string url = c.expectedUrlWithoutPort;
    if (c.urlHasPort) url += ":" + std::to_string(port);
    EXPECT_TRUE(
        trace.Contains("ServerURL: " + c.expectedHost + ", ServerPORT: " + std::to_string(port)));
    EXPECT_TRUE(trace.Contains("ConnectionURL: " + url)) << url;
    EXPECT_TRUE(trace.Contains("Server web connect fail___"));
    EXPECT_EQ(trace.Contains("Request timed out___(nothing received for 2000 ms)"), c.unanswered);
    EXPECT_EQ(trace.Contains("Probe thread create fail___"), c.threadRefused);
}

INSTANTIATE_TEST_SUITE_P(
    AddressPage, ProbeUrlTest,
    ::testing::Values(
        ProbeCase{L"  127.0.0.1  ", false, true, 0, "127.0.0.1", "http://127.0.0.1", true},
        ProbeCase{L"127.0.0.1", true, false, 80, "127.0.0.1", "https://127.0.0.1", false},
        ProbeCase{L"127.0.0.1", false, false, 80, "127.0.0.1", "http://127.0.0.1", false},
        ProbeCase{L"\t127.0.0.1 ", true, true, 0, "127.0.0.1", "https://127.0.0.1", true},
        ProbeCase{L"https://127.0.0.1", false, true, 0, "https://127.0.0.1",
                  "http://https://127.0.0.1", true},
        ProbeCase{L"127.0.0.1", false, false, 0, "127.0.0.1", "http://127.0.0.1", true, true},
        ProbeCase{L"127.0.0.1", false, false, 0, "127.0.0.1", "http://127.0.0.1", true, false,
                  true}));

TEST_F(SetupPageTest, OpensWithTextsAndNextFollowsTheHostField) {
    CVelmora_SetupDlg page(state);
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        EXPECT_EQ(TextOf(window), L"Install - Velmora Setup");
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_SCHEME_PREFIX)), L"http://");
        EXPECT_EQ(SendDlgItemMessageW(window, IDC_SCHEME_HTTP, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_PORT)), L"80");
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_NEXT)), L"次へ(&N) >");
        EXPECT_EQ(TextOf(GetDlgItem(window, IDCANCEL)), L"キャンセル");
        HWND next = GetDlgItem(window, IDC_NEXT);
        EXPECT_FALSE(IsWindowEnabled(next));
        SetDlgItemTextW(window, IDC_HOST, L"f");
        EXPECT_TRUE(IsWindowEnabled(next));
        SetDlgItemTextW(window, IDC_HOST, L"");
        EXPECT_FALSE(IsWindowEnabled(next));
        SetDlgItemTextW(window, IDC_HOST, L"   ");
        EXPECT_TRUE(IsWindowEnabled(next));
        Click(window, IDC_SCHEME_HTTPS);
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_SCHEME_PREFIX)), L"https://");
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_PORT)), L"80");
        Click(window, IDCANCEL);
    });
}

TEST_F(SetupPageTest, HttpsPresetChecksItsRadioAtOpening) {
    CVelmora_SetupDlg page(state, L"", true);
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_SCHEME_PREFIX)), L"https://");
        EXPECT_EQ(SendDlgItemMessageW(window, IDC_SCHEME_HTTPS, BM_GETCHECK, 0, 0), BST_CHECKED);
        Click(window, IDCANCEL);
    });
}

struct PresetCase {
    const wchar_t* preset;
    const wchar_t* host;
    const wchar_t* port;
};

class PresetTest : public SetupPageTest, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(PresetTest, FillsAndLocksTheAddress) {
    CVelmora_SetupDlg page(state, GetParam().preset);
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_HOST)), GetParam().host);
        EXPECT_EQ(TextOf(GetDlgItem(window, IDC_PORT)), GetParam().port);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_HOST)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_PORT)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_NEXT)));
        // A back notification unlocks the preset fields.
        NMHDR back = {nullptr, IDD_DOWNLOAD_PAGE, kDownloadPageBack};
        SendMessageW(window, WM_NOTIFY, IDD_DOWNLOAD_PAGE, reinterpret_cast<LPARAM>(&back));
        EXPECT_TRUE(IsShownAndEnabled(GetDlgItem(window, IDC_HOST)));
        EXPECT_TRUE(IsShownAndEnabled(GetDlgItem(window, IDC_PORT)));
        Click(window, IDCANCEL);
    });
}

INSTANTIATE_TEST_SUITE_P(
    AddressPage, PresetTest,
    ::testing::Values(PresetCase{L"files.example.com:8443", L"files.example.com", L"8443"},
                      PresetCase{L"files.example.com", L"files.example.com", L"80"},
                      PresetCase{L"https://files.example.com", L"https", L"0"}));

TEST_F(SetupPageTest, CancelAndCloseAreRefusedWhileInstalling) {
    CVelmora_SetupDlg page(state);
    bool stillOpen = false;
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        state.m_bInstalling = 1;
        Click(window, IDCANCEL);
        SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        NMHDR finish = {nullptr, IDD_DOWNLOAD_PAGE, kDownloadPageFinish};
        SendMessageW(window, WM_NOTIFY, IDD_DOWNLOAD_PAGE, reinterpret_cast<LPARAM>(&finish));
        stillOpen = IsWindow(window) && IsWindowVisible(window);
        state.m_bInstalling = 0;
        SendMessageW(window, WM_NOTIFY, IDD_DOWNLOAD_PAGE, reinterpret_cast<LPARAM>(&finish));
    });
    EXPECT_TRUE(stillOpen);
}

TEST_F(SetupPageTest, ReachableServiceOpensTheDownloadPageAndPrevComesBack) {
    LoopbackListener service;
    TraceCapture trace;
    CVelmora_SetupDlg page(state);
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        SetDlgItemTextW(window, IDC_HOST, L"127.0.0.1");
        SetDlgItemInt(window, IDC_PORT, static_cast<UINT>(service.Port()), TRUE);
        Click(window, IDC_NEXT);
        HWND download = FindWindowExW(window, nullptr, L"#32770", nullptr);
        ASSERT_NE(download, nullptr);
        // Prev before the worker timer: the page goes and the address controls come back.
        Click(download, IDC_PREV);
        EXPECT_FALSE(IsWindow(download));
        EXPECT_TRUE(IsShownAndEnabled(GetDlgItem(window, IDC_HOST)));
        EXPECT_TRUE(IsShownAndEnabled(GetDlgItem(window, IDC_NEXT)));
        Sleep(500);
        Click(window, IDCANCEL);
    });
    for (const std::string& line : trace.Lines())
        EXPECT_EQ(line.find("InstallActiveX"), std::string::npos) << line;
}

// The whole unattended path against a service that answers every request with 404: no
// download succeeds, nothing is started, and the wizard still finishes by itself.
TEST_F(SetupPageTest, AutomaticModeRunsToTheEndWithoutInput) {
    LoopbackListener service(LoopbackListener::AnswerNotFound);
    TraceCapture trace;
    state.m_bAutoSetup = 1;
    CVelmora_SetupDlg page(state, L"127.0.0.1:" + std::to_wstring(service.Port()));
    bool lockedAtOpening = false;
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        lockedAtOpening = !IsWindowEnabled(GetDlgItem(window, IDC_NEXT)) &&
                          !IsWindowEnabled(GetDlgItem(window, IDCANCEL)) &&
                          !IsWindowEnabled(GetDlgItem(window, IDC_HOST));
    });
    EXPECT_TRUE(lockedAtOpening);
    std::vector<std::string> lines = trace.Lines();
    int attempts = 0;
    for (const std::string& line : lines)
        if (line == "Velmora ActiveX 7i.exe Download fail_ and continue loop.") ++attempts;
    EXPECT_EQ(attempts, 5);
    EXPECT_TRUE(
        trace.Contains("ConnectionURL: http://127.0.0.1:" + std::to_string(service.Port())));
    // Wine's moniker download saves a 404 page as the descriptor, which then holds no site.
    EXPECT_TRUE(trace.Contains("Wrong xml___") ||
                trace.Contains("velmora_server.exe Download fail___"));
    for (const std::string& line : lines) EXPECT_EQ(line.find("run Success"), std::string::npos);
}

// An unattended run whose check finds nobody: the message box names the program and says so;
// afterwards Next and Cancel are enabled again while the preset address stays locked.
TEST_F(SetupPageTest, AutomaticFailedCheckLetsTheUserRetryOrLeave) {
    state.m_bAutoSetup = 1;
    CVelmora_SetupDlg page(state, L"127.0.0.1:" + std::to_wstring(LoopbackListener::ClosedPort()));
    std::wstring text;
    std::wstring caption;
    bool retryOrLeave = false;
    RunModalWithDriver(page, [&](HWND window) {
        HWND box = nullptr;
        // A closed port on this machine is refused at once.
        ASSERT_TRUE(WaitFor([&] { return (box = FindOwnedMessageBox(window)) != nullptr; }))
            << "no message box for the failed check";
        caption = TextOf(box);
        text = TextOf(GetDlgItem(box, 0xFFFF));  // the message box's text control
        SendMessageW(box, WM_COMMAND, IDOK, 0);
        retryOrLeave = WaitFor(
            [&] {
                return IsWindowEnabled(GetDlgItem(window, IDC_NEXT)) &&
                       IsWindowEnabled(GetDlgItem(window, IDCANCEL));
            },
            5000);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_HOST)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_PORT)));
        Click(window, IDCANCEL);
    });
    EXPECT_TRUE(retryOrLeave) << "Next and Cancel stayed disabled after the message box";
    EXPECT_EQ(caption, L"setup_page_test");
    EXPECT_EQ(text, L"アップデートサーバーへのアクセスができません。");
}

// Real keys on each page in each state. The service answers every request with 404, so the
// steps run their whole failing road quickly; the worker's entry lines count the workers.
struct KeyCase {
    const char* name;
    bool automatic;
    enum Stage { Address, Installing, Done } stage;
    WORD key;
    int presses;
    bool wizardEnds;      // the key itself ends the wizard
    int expectedWorkers;  // installation workers started in the whole run
};

class KeyboardTest : public SetupPageTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyboardTest, KeysActOnTheVisiblePage) {
    const KeyCase& c = GetParam();
    LoopbackListener service(LoopbackListener::AnswerNotFound, 250);
    TraceCapture trace;
    state.m_bAutoSetup = c.automatic ? 1 : 0;
    CVelmora_SetupDlg page(state,
                           c.automatic ? L"127.0.0.1:" + std::to_wstring(service.Port()) : L"");
    const std::string workerEntry = "VLDownloadDlg::InstallActiveX() " + std::string(43, '<');
    auto workers = [&] {
        std::vector<std::string> lines = trace.Lines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(workerEntry) != std::string::npos;
        });
    };
    bool endedByKey = false;
    RunModalWithDriver(page, [&](HWND window) {
        WaitForSchemePrefix(window);
        if (!c.automatic) {
            SetDlgItemTextW(window, IDC_HOST, L"127.0.0.1");
            SetDlgItemInt(window, IDC_PORT, static_cast<UINT>(service.Port()), TRUE);
            SendMessageW(window, WM_NEXTDLGCTL,
                         reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_HOST)), TRUE);
        }
        if (c.stage == KeyCase::Address) {
            for (int i = 0; i < c.presses; ++i) PressKey(window, c.key);
        } else {
            if (!c.automatic) Click(window, IDC_NEXT);
            ASSERT_TRUE(WaitFor([&] { return DownloadPageOf(window) != nullptr; }));
            HWND next = GetDlgItem(DownloadPageOf(window), IDC_NEXT);
            ASSERT_TRUE(WaitFor([&] { return state.m_bInstalling.load() == 1; }));
            if (c.stage == KeyCase::Installing) {
                for (int i = 0; i < c.presses; ++i) PressKey(window, c.key);
                EXPECT_TRUE(IsWindow(window));
            } else {
                // Windows takes the focus from the button the worker disables (Wine does not,
                // the worker being another thread); the page must give it back at the end.
                DWORD pageThread = GetWindowThreadProcessId(window, nullptr);
                AttachThreadInput(GetCurrentThreadId(), pageThread, TRUE);
                SetFocus(nullptr);
                AttachThreadInput(GetCurrentThreadId(), pageThread, FALSE);
                // The finish button comes back enabled and with the keyboard focus.
                GUITHREADINFO focus = {};
                focus.cbSize = sizeof(focus);
                EXPECT_TRUE(WaitFor(
                    [&] {
                        return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr),
                                                &focus) &&
                               state.m_bInstalling.load() == 0 && focus.hwndFocus == next &&
                               IsWindowEnabled(next);
                    },
                    60000));
                for (int i = 0; i < c.presses; ++i) PressKey(window, c.key);
            }
        }
        endedByKey = WaitFor([&] { return !IsWindow(window); }, c.wizardEnds ? 10000 : 1500);
        if (!endedByKey) {
            // Left to end as the case's user would: after the steps, by the finish button.
            WaitFor([&] { return !IsWindow(window) || state.m_bInstalling.load() == 0; }, 60000);
            if (IsWindow(window)) {
                HWND download = DownloadPageOf(window);
                if (download != nullptr) {
                    WaitFor(
                        [&] {
                            return !IsWindow(download) ||
                                   IsWindowEnabled(GetDlgItem(download, IDC_NEXT));
                        },
                        60000);
                    if (IsWindow(download)) Click(download, IDC_NEXT);
                } else {
                    Click(window, IDCANCEL);
                }
            }
            WaitFor([&] { return !IsWindow(window); }, 60000);
        }
    });
    EXPECT_EQ(endedByKey, c.wizardEnds);
    EXPECT_EQ(workers(), c.expectedWorkers);
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, KeyboardTest,
    ::testing::Values(KeyCase{"EnterOnTheAddressPageProbesAndOpensTheDownloadPage", false,
                              KeyCase::Address, VK_RETURN, 1, false, 1},
                      // The second Enter is the download page's own Next before its worker started.
                      KeyCase{"DoubleEnterOpensOneDownloadPageThenFinishes", false,
                              KeyCase::Address, VK_RETURN, 2, true, 0},
                      KeyCase{"EscapeOnTheAddressPageLeaves", false, KeyCase::Address, VK_ESCAPE, 1,
                              true, 0},
                      KeyCase{"EnterWhileInstallingDoesNothing", false, KeyCase::Installing,
                              VK_RETURN, 3, false, 1},
                      KeyCase{"EscapeWhileInstallingDoesNothing", false, KeyCase::Installing,
                              VK_ESCAPE, 2, false, 1},
                      KeyCase{"EnterWhenDoneFinishes", false, KeyCase::Done, VK_RETURN, 1, true, 1},
                      KeyCase{"EscapeWhenDoneLeaves", false, KeyCase::Done, VK_ESCAPE, 1, true, 1},
                      KeyCase{"AutomaticEnterWhileInstallingStartsNoSecondWorker", true,
                              KeyCase::Installing, VK_RETURN, 3, false, 1}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

}  // namespace
