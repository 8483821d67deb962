#include "ui/download_dlg.h"

#include <commctrl.h>
#include <system_error>
#include <thread>

#include "install/install_steps.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "res/resource.h"
#include "sys/com_apartment.h"
#include "ui/message_text.h"
#include "ui/page_header.h"

namespace {

constexpr UINT_PTR kStartWorkerTimer = 2;
constexpr UINT kStartWorkerDelayMs = 300;
constexpr UINT_PTR kAutoFinishTimer = 3;
constexpr UINT kAutoFinishDelayMs = 100;
// Asks the page's own thread to start the finish timer: a timer belongs to the thread that
// owns its window, and the worker talks to the page only through sent messages.
constexpr UINT kStartAutoFinishMessage = WM_APP + 1;

}  // namespace

VLDownloadDlg::VLDownloadDlg(WizardState& state) : Dialog(IDD_DOWNLOAD_PAGE), m_state(state) {}

BOOL VLDownloadDlg::OnInitDialog() {
    SetDlgItemTextW(m_hWnd, IDC_INFO_TEXT, LoadMessageText(IDS_DOWNLOAD_INFO).c_str());
    SetDlgItemTextW(m_hWnd, IDC_PREV, LoadMessageText(IDS_PREV).c_str());
    SetDlgItemTextW(m_hWnd, IDC_NEXT, LoadMessageText(IDS_COMPLETED).c_str());
    m_bmpHeader.Reset(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_HEADER),
                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    SetTimer(m_hWnd, kStartWorkerTimer, kStartWorkerDelayMs, nullptr);
    return TRUE;
}

bool VLDownloadDlg::OnCommand(WORD id, WORD code, HWND control) {
    // Enter reaches a button here through the address page, which does not know whether
    // the button may be pressed: a disabled one does nothing.
    if (code == BN_CLICKED && (id == IDC_PREV || id == IDC_NEXT)) {
        if (IsWindowEnabled(GetDlgItem(id)))
            LeavePage(id == IDC_PREV ? kDownloadPageBack : kDownloadPageFinish);
        return true;
    }
    return Dialog::OnCommand(id, code, control);
}

bool VLDownloadDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR&) {
    switch (message) {
        case kStartAutoFinishMessage:
            SetTimer(m_hWnd, kAutoFinishTimer, kAutoFinishDelayMs, nullptr);
            return true;
        case WM_PAINT:
            OnPaint();
            return true;
        case WM_TIMER:
            OnTimer(wParam);
            return false;
        default:
            return false;
    }
}

void VLDownloadDlg::OnTimer(UINT_PTR timerId) {
    if (timerId == kStartWorkerTimer) {
        KillTimer(m_hWnd, kStartWorkerTimer);
        StartInstallWorker();
    } else if (timerId == kAutoFinishTimer) {
        KillTimer(m_hWnd, kAutoFinishTimer);
        LeavePage(kDownloadPageFinish);
    }
}

void VLDownloadDlg::LeavePage(UINT notifyCode) {
    EndDialog(IDCANCEL);
    HWND parent = GetParent(m_hWnd);
    if (parent != nullptr) {
        NMHDR header = {m_hWnd, IDD_DOWNLOAD_PAGE, notifyCode};
        SendMessageW(parent, WM_NOTIFY, IDD_DOWNLOAD_PAGE, reinterpret_cast<LPARAM>(&header));
    }
    DestroyWindow();
}

// The flag goes up and the buttons go grey here, on the page's own thread, before the worker
// exists: from this moment Cancel, the close box and the page's buttons (a click already on its
// way included) can no longer end the wizard, free the page the worker is about to use, or
// bring the page back to start a second worker.
void VLDownloadDlg::StartInstallWorker() {
    EnableWindow(GetDlgItem(IDC_PREV), FALSE);
    EnableWindow(GetDlgItem(IDC_NEXT), FALSE);
    m_state.m_bInstalling = 1;
    m_state.m_nSetupOutcome = SetupIncomplete;
    try {
        std::thread(InstallThreadProc, this).detach();
    } catch (const std::system_error&) {
        m_state.m_bInstalling = 0;
        FuncTrace scope("VLDownloadDlg::InstallThreadProc");
        TraceMsg(scope, "Install thread create fail___");
        ShowStepsDone(m_hWnd, m_state);
    }
}

void VLDownloadDlg::InstallThreadProc(VLDownloadDlg* page) {
    if (page == nullptr) return;
    HWND window = page->m_hWnd;
    WizardState& state = page->m_state;
    StepOutcome installer = StepOutcome::NoHost;
    StepOutcome agent = StepOutcome::NoHost;
    {
        ComApartment com;
        const PublisherPins& pins = state.m_publisherPins;
        installer = InstallActiveX(page->m_service, state.m_bAutoSetup != 0, pins, *page);
        if (installer != StepOutcome::NoHost) agent = RunQLUpdate(page->m_service, pins, *page);
    }
    if (installer == StepOutcome::Ran && agent == StepOutcome::Ran)
        state.m_nSetupOutcome = SetupCompleted;
    state.m_bInstalling = 0;
    // From here on only the window handle and the state are used: once the flag is down the
    // wizard may end and take the page object with it.
    ShowStepsDone(window, state);
}

void VLDownloadDlg::ShowStepsDone(HWND window, const WizardState& state) {
    HWND next = ::GetDlgItem(window, IDC_NEXT);
    SetWindowTextW(next, LoadMessageText(IDS_COMPLETED).c_str());
    EnableWindow(next, TRUE);
    // The page's own thread moves the focus, so that Enter finishes.
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
    if (state.m_bAutoSetup) SendMessageW(window, kStartAutoFinishMessage, 0, 0);
}

void VLDownloadDlg::SetInfoText(UINT16 stringId) {
    SetDlgItemTextW(m_hWnd, IDC_INFO_TEXT, LoadMessageText(stringId).c_str());
}

void VLDownloadDlg::SetProgressRange(int size) {
    SendMessageW(ProgressBar(), PBM_SETRANGE32, 0, size);
}

void VLDownloadDlg::OnPaint() {
    WindowPaint paint(m_hWnd);
    PaintPageHeader(paint.Dc(), paint.Client(),
                    {IDS_DOWNLOAD_HEADER_TITLE, IDS_DOWNLOAD_HEADER_SUBTITLE,
                     static_cast<HBITMAP>(m_bmpHeader.Get()), true});
}
