#include <gtest/gtest.h>

#include <vector>

#include "res/resource.h"
#include "tests/support/page_driver.h"
#include "tests/support/recording_parent.h"
#include "tests/support/trace_capture.h"
#include "ui/download_dlg.h"

namespace {

class DownloadPageTest : public ::testing::Test {
  protected:
    WizardState state;
};

TEST_F(DownloadPageTest, EmptyHostSkipsTheAgentStepAndStillEnablesNext) {
    TraceCapture trace;
    RecordingParent parent;
    VLDownloadDlg page(state);
    ASSERT_TRUE(page.Create(parent.Get()));
    HWND window = page.GetSafeHwnd();
    HWND next = GetDlgItem(window, IDC_NEXT);
    HWND prev = GetDlgItem(window, IDC_PREV);
    EXPECT_EQ(TextOf(GetDlgItem(window, IDC_INFO_TEXT)),
              L"インストールに必要なファイルをダウンロードします。");
    EXPECT_EQ(TextOf(prev), L"< 戻る(&B)");
    EXPECT_EQ(TextOf(next), L"完了");

    ASSERT_TRUE(PumpUntil([&] { return trace.Contains("UpdateURL is empty___"); }));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(next) != FALSE; }));
    EXPECT_FALSE(IsWindowEnabled(prev));
    EXPECT_EQ(state.m_bInstalling.load(), 0);
    for (const std::string& line : trace.Lines())
        EXPECT_EQ(line.find("RunQLUpdate"), std::string::npos) << line;

    Click(window, IDC_NEXT);
    EXPECT_EQ(parent.codes, std::vector<UINT>{kDownloadPageFinish});
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(DownloadPageTest, AutomaticModeFinishesByItself) {
    state.m_bAutoSetup = 1;
    RecordingParent parent;
    VLDownloadDlg page(state);
    ASSERT_TRUE(page.Create(parent.Get()));
    HWND window = page.GetSafeHwnd();
    EXPECT_TRUE(PumpUntil([&] { return !parent.codes.empty(); }));
    EXPECT_EQ(parent.codes, std::vector<UINT>{kDownloadPageFinish});
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(DownloadPageTest, PrevBeforeTheTimerRunsNoStep) {
    TraceCapture trace;
    RecordingParent parent;
    VLDownloadDlg page(state);
    page.SetServiceAddress({L"127.0.0.1", 80, false});
    ASSERT_TRUE(page.Create(parent.Get()));
    Click(page.GetSafeHwnd(), IDC_PREV);
    EXPECT_EQ(parent.codes, std::vector<UINT>{kDownloadPageBack});
    PumpUntil([] { return false; }, 600);
    EXPECT_TRUE(trace.Lines().empty());
    // The page object stays and makes a new window on the next creation.
    ASSERT_TRUE(page.Create(parent.Get()));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page.GetSafeHwnd(), IDC_PREV)));
    Click(page.GetSafeHwnd(), IDC_NEXT);
    EXPECT_EQ(parent.codes, (std::vector<UINT>{kDownloadPageBack, kDownloadPageFinish}));
}

}  // namespace
