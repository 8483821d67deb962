#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/support/page_driver.h"
#include "tests/support/recording_parent.h"
#include "tests/support/screen_capture.h"
#include "ui/download_dlg.h"
#include "ui/setup_dlg.h"

namespace {

constexpr DWORD kWhite = 0xFFFFFF;
constexpr DWORD kRuleGrey = 0xA0A0A0;

// The band, the rule and the picture as both pages paint them: rows outside the texts and
// the picture are white across the whole width, row 65 is grey, and the picture sits 2
// pixels in from the top and right edges.
void ExpectHeader(const ClientCapture& capture) {
    int bitmapWidth = 0;
    int bitmapHeight = 0;
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_HEADER), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(bitmap, nullptr);
    std::vector<DWORD> picture = BitmapPixels(bitmap, bitmapWidth, bitmapHeight);
    DeleteObject(bitmap);
    ASSERT_EQ(bitmapWidth, 55);
    ASSERT_EQ(bitmapHeight, 60);

    for (int y : {0, 1, 62, 63, 64})
        for (int x = 0; x < capture.Width(); ++x)
            ASSERT_EQ(capture.At(x, y), kWhite) << "x " << x << " y " << y;
    for (int x = 0; x < capture.Width(); ++x) ASSERT_EQ(capture.At(x, 65), kRuleGrey) << "x " << x;

    int left = capture.Width() - bitmapWidth - 2;
    for (int y = 0; y < bitmapHeight; ++y)
        for (int x = 0; x < bitmapWidth; ++x)
            ASSERT_EQ(capture.At(left + x, 2 + y), picture[static_cast<size_t>(y) * 55 + x])
                << "picture pixel " << x << "," << y;

    int titleInk = 0;
    for (int y = 8; y < 26; ++y)
        for (int x = 25; x < 200; ++x)
            if (capture.At(x, y) != kWhite) ++titleInk;
    EXPECT_GT(titleInk, 20) << "the title is drawn";
}

// Repaints and reads the client area back; on a busy machine the first read may come before
// the window has shown its new paint, so it is read again until the rule is in place.
ClientCapture PaintedClient(HWND window) {
    for (int attempt = 0;; ++attempt) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
        Sleep(100);
        ClientCapture capture(window);
        bool ruleShown = capture.Height() > 65 && capture.At(0, 65) == kRuleGrey &&
                         capture.At(capture.Width() - 1, 65) == kRuleGrey;
        if (ruleShown || attempt == 20) return capture;
    }
}

// The test run keeps what each page looked like under build/screenshots.
void KeepScreenshot(const ClientCapture& capture, const wchar_t* name) {
    std::wstring dir = std::wstring(VELMORA_BINARY_DIR_W) + L"\\screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    EXPECT_TRUE(SaveCaptureAsBmp(capture, dir + L"\\" + name));
}

TEST(PagePaint, AddressPageHeader) {
    WizardState state;
    CVelmora_SetupDlg page(state);
    RunModalWithDriver(page, [&](HWND window) {
        ClientCapture first = PaintedClient(window);
        ExpectHeader(first);
        KeepScreenshot(first, L"address_page.bmp");
        // A wider page still gets a full-width band and the picture follows the right edge.
        RECT frame;
        GetWindowRect(window, &frame);
        SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 120,
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
        ExpectHeader(PaintedClient(window));
        Click(window, IDCANCEL);
    });
}

TEST(PagePaint, DownloadPageHeader) {
    RecordingParent parent;
    ShowWindow(parent.Get(), SW_SHOW);
    WizardState state;
    VLDownloadDlg page(state);
    ASSERT_TRUE(page.Create(parent.Get()));
    HWND window = page.GetSafeHwnd();
    PumpUntil([] { return false; }, 200);
    ClientCapture capture = PaintedClient(window);
    ExpectHeader(capture);
    KeepScreenshot(capture, L"download_page.bmp");
    // Let the worker (no host: nothing to install) finish before the page goes.
    PumpUntil([&] {
        return IsWindowEnabled(GetDlgItem(window, IDC_NEXT)) &&
               !IsWindowEnabled(GetDlgItem(window, IDC_PREV));
    });
}

}  // namespace
