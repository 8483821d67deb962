#include "ui/setup_dlg.h"

#include <cwchar>
#include <cwctype>

#include "install/reachability_probe.h"
#include "install/server_urls.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "res/resource.h"
#include "sys/module_info.h"
#include "sys/path_text.h"
#include "ui/about_dlg.h"
#include "ui/message_text.h"
#include "ui/page_header.h"
#include "ui/preset_split.h"

namespace {

constexpr UINT_PTR kAutoNextTimer = 1;
constexpr UINT kAutoNextDelayMs = 100;
constexpr int kDefaultPort = 80;
// Posted when the page has shown, and by the deferred start-up when it can finish.
constexpr UINT kPageShownMessage = WM_APP + 1;
constexpr UINT kStartupDoneMessage = WM_APP + 2;

std::wstring TrimWhiteSpace(std::wstring text) {
    while (!text.empty() && iswspace(text.back())) text.pop_back();
    size_t first = 0;
    while (first < text.size() && iswspace(text[first])) ++first;
    return text.substr(first);
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

// The caption of the program's message boxes: its file name without the extension.
std::wstring ApplicationName() { return StemOfNameOrWholeName(GetModuleName()); }

}  // namespace

CVelmora_SetupDlg::CVelmora_SetupDlg(WizardState& state, std::wstring presetAddress, bool https,
                                     DeferredStartup* startup)
    : Dialog(IDD_VELMORA_SETUP_DIALOG),
      m_state(state),
      m_startup(startup),
      m_strPresetAddress(std::move(presetAddress)),
      m_bHttps(https),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_downloadPage(state) {}

BOOL CVelmora_SetupDlg::OnInitDialog() {
    HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE);
    if (systemMenu != nullptr) {
        std::wstring about = LoadMessageText(IDS_ABOUTBOX);
        if (!about.empty()) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    InitPageControls();

    if (m_state.m_bAutoSetup) {
        EnableWindow(GetDlgItem(IDC_NEXT), FALSE);
        EnableWindow(GetDlgItem(IDCANCEL), FALSE);
        SetTimer(m_hWnd, kAutoNextTimer, kAutoNextDelayMs, nullptr);
    }
    return TRUE;
}

void CVelmora_SetupDlg::InitPageControls() {
    SetWindowTextW(m_hWnd, LoadMessageText(IDS_SETUP_TITLE).c_str());
    SetDlgItemTextW(m_hWnd, IDC_INFO_TEXT, LoadMessageText(IDS_ADDRESS_INFO).c_str());
    SetDlgItemTextW(m_hWnd, IDC_ADDRESS_GROUP, LoadMessageText(IDS_ADDRESS_GROUP).c_str());
    SetDlgItemInt(m_hWnd, IDC_PORT, kDefaultPort, TRUE);

    int schemeId = m_bHttps ? IDC_SCHEME_HTTPS : IDC_SCHEME_HTTP;
    HWND scheme = GetDlgItem(schemeId);
    if (scheme != nullptr) {
        SendMessageW(scheme, BM_SETCHECK, BST_CHECKED, 0);
        // Posted, so that the prefix text follows once the page processes its messages.
        PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(schemeId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(scheme));
    }

    if (!m_strPresetAddress.empty()) {
        PresetHostPort split = SplitPresetAddress(m_strPresetAddress);
        if (split.hasPort) {
            m_nPresetPort = split.port;
            m_strPresetAddress = split.host;
            SetDlgItemInt(m_hWnd, IDC_PORT, static_cast<UINT>(m_nPresetPort), TRUE);
        }
        SetDlgItemTextW(m_hWnd, IDC_HOST, m_strPresetAddress.c_str());
        EnableWindow(GetDlgItem(IDC_HOST), FALSE);
        EnableWindow(GetDlgItem(IDC_PORT), FALSE);
    }

    HWND next = GetDlgItem(IDC_NEXT);
    SetWindowTextW(next, LoadMessageText(IDS_NEXT).c_str());
    EnableWindow(next, GetWindowTextLengthW(GetDlgItem(IDC_HOST)) > 0);
    SetDlgItemTextW(m_hWnd, IDCANCEL, LoadMessageText(IDS_CANCEL).c_str());

    m_childWnds.clear();
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        m_childWnds.push_back(child);

    m_bmpHeader.Reset(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_HEADER),
                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void CVelmora_SetupDlg::ShowPageControls(bool show) {
    HWND cancel = GetDlgItem(IDCANCEL);
    for (HWND child : m_childWnds) {
        EnableWindow(child, show);
        ShowWindow(child, show ? SW_SHOW : SW_HIDE);
        // Cancel stays enabled while hidden, so the close box still reaches OnCancel.
        if (child == cancel) EnableWindow(child, TRUE);
    }
}

bool CVelmora_SetupDlg::OnCommand(WORD id, WORD code, HWND control) {
    if (RouteKeyToDownloadPage(id, code)) return true;
    if (id == IDC_HOST && code == EN_CHANGE) {
        OnEnChangeHost();
        return true;
    }
    if (code == BN_CLICKED && id == IDC_NEXT) {
        // Only this page's own button presses its Next (timer 1 calls the handler itself).
        if (control == GetDlgItem(IDC_NEXT)) OnBnClickedNext();
        return true;
    }
    if (code == BN_CLICKED && (id == IDC_SCHEME_HTTP || id == IDC_SCHEME_HTTPS)) {
        OnBnClickedScheme(id);
        return true;
    }
    return Dialog::OnCommand(id, code, control);
}

// The modal loop's dialog manager belongs to this page, so Enter on the download page
// arrives here: as the id of the focused button (the download page's Next shares this page's
// Next id) or, with no button focused, as IDOK. While the download page is up, its own
// buttons answer; Escape stays this page's Cancel, which is refused while installing.
bool CVelmora_SetupDlg::RouteKeyToDownloadPage(WORD id, WORD code) {
    HWND page = m_downloadPage.GetSafeHwnd();
    if (page == nullptr || code != BN_CLICKED) return false;
    if (id != IDOK && id != IDC_NEXT && id != IDC_PREV) return false;
    int pageButton = id == IDC_PREV ? IDC_PREV : IDC_NEXT;
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(pageButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(page, pageButton)));
    return true;
}

bool CVelmora_SetupDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case WM_SYSCOMMAND: {
            UINT command = static_cast<UINT>(wParam);
            if ((command & 0xFFF0) == IDM_ABOUTBOX) {
                CAboutDlg about;
                about.DoModal(m_hWnd);
                return true;
            }
            // Closing is refused while the installation runs.
            return command == SC_CLOSE && m_state.m_bInstalling;
        }
        case WM_PAINT:
            OnPaint();
            return true;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<INT_PTR>(m_hIcon);
            return true;
        case WM_TIMER:
            OnTimer(wParam);
            return true;
        case WM_NOTIFY:
            OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return false;
        case WM_SHOWWINDOW:
            // Handled once showing is done and the page serves its messages.
            if (wParam) PostMessageW(m_hWnd, kPageShownMessage, 0, 0);
            return false;
        case kPageShownMessage:
            if (m_startup != nullptr) m_startup->Begin(m_hWnd, kStartupDoneMessage);
            return true;
        case kStartupDoneMessage:
            FinishStartup();
            return true;
        default:
            return false;
    }
}

void CVelmora_SetupDlg::OnPaint() {
    WindowPaint paint(m_hWnd);
    HDC dc = paint.Dc();
    const RECT& client = paint.Client();
    if (IsIconic(m_hWnd)) {
        SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        int iconWidth = GetSystemMetrics(SM_CXICON);
        int iconHeight = GetSystemMetrics(SM_CYICON);
        DrawIcon(dc, (client.right - iconWidth + 1) / 2, (client.bottom - iconHeight + 1) / 2,
                 m_hIcon);
    } else {
        PaintPageHeader(dc, client,
                        {IDS_ADDRESS_HEADER_TITLE, IDS_ADDRESS_HEADER_SUBTITLE,
                         static_cast<HBITMAP>(m_bmpHeader.Get()), false});
    }
}

void CVelmora_SetupDlg::OnTimer(UINT_PTR timerId) {
    if (timerId != kAutoNextTimer) return;
    KillTimer(m_hWnd, kAutoNextTimer);
    OnBnClickedNext();
}

void CVelmora_SetupDlg::FinishStartup() {
    if (m_startup != nullptr) m_startup->Finish();
}

void CVelmora_SetupDlg::OnNotify(const NMHDR& header) {
    if (header.idFrom != IDD_DOWNLOAD_PAGE) return;
    if (header.code == kDownloadPageBack)
        ShowPageControls(true);
    else if (header.code == kDownloadPageFinish)
        OnCancel();
}

void CVelmora_SetupDlg::OnEnChangeHost() {
    EnableWindow(GetDlgItem(IDC_NEXT), GetWindowTextLengthW(GetDlgItem(IDC_HOST)) > 0);
}

void CVelmora_SetupDlg::OnBnClickedScheme(int controlId) {
    bool https = controlId == IDC_SCHEME_HTTPS;
    SetDlgItemTextW(m_hWnd, IDC_SCHEME_PREFIX, https ? L"https://" : L"http://");
    m_bHttps = https;
}

void CVelmora_SetupDlg::OnBnClickedNext() {
    // What start-up left is logged ahead of everything the page logs.
    FinishStartup();
    FuncTrace scope("CVelmora_SetupDlg::OnBnClickedNext");
    if (!m_state.m_bAutoSetup && !IsWindowEnabled(GetDlgItem(IDC_NEXT))) return;

    ServiceAddress service;
    service.host = TrimWhiteSpace(WindowText(GetDlgItem(IDC_HOST)));
    service.port = static_cast<int>(GetDlgItemInt(m_hWnd, IDC_PORT, nullptr, TRUE));
    service.https = m_bHttps;
    TraceMsg(scope, "ServerURL: %S, ServerPORT: %d", service.host.c_str(), service.port);

    std::wstring url = ConnectionURL(service);
    TraceMsg(scope, "ConnectionURL: %S", url.c_str());
    if (ServiceAnswers(scope, url)) {
        OpenDownloadPage(service);
        return;
    }
    TraceMsg(scope, "Server web connect fail___");
    ReportUnreachableService();
}

void CVelmora_SetupDlg::OpenDownloadPage(const ServiceAddress& service) {
    // One page object, one window: a second window would share its timers and its worker.
    if (m_downloadPage.GetSafeHwnd() != nullptr) return;
    m_downloadPage.SetServiceAddress(service);
    m_downloadPage.Create(m_hWnd);
    ShowPageControls(false);
}

void CVelmora_SetupDlg::ReportUnreachableService() {
    MessageBoxW(m_hWnd, LoadMessageText(IDS_SERVER_UNREACHABLE).c_str(), ApplicationName().c_str(),
                MB_OK | MB_ICONEXCLAMATION);
    // An unattended run whose check failed must still let the user retry or leave; the
    // preset address itself stays locked.
    if (m_state.m_bAutoSetup) {
        EnableWindow(GetDlgItem(IDC_NEXT), TRUE);
        EnableWindow(GetDlgItem(IDCANCEL), TRUE);
    }
}

void CVelmora_SetupDlg::OnCancel() {
    if (m_state.m_bInstalling) return;
    EndDialog(IDCANCEL);
}
