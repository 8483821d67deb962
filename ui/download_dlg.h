#pragma once

#include <windows.h>
#include <string>

#include "install/install_display.h"
#include "res/resource.h"
#include "sys/scoped_handle.h"
#include "ui/dialog.h"

class URLDownCallBack;

// Notification codes the download page sends its parent (WM_NOTIFY, sender id 205).
constexpr UINT kDownloadPageBack = 1010;
constexpr UINT kDownloadPageFinish = 2;

// The download page: a child page over the address page that runs the installation steps
// on a worker thread and reports back (Prev) or finishes the wizard (Next).
class VLDownloadDlg : public Dialog, private InstallDisplay {
  public:
    VLDownloadDlg();

    void SetServerURL(std::wstring host) { m_strServerURL = std::move(host); }

    // The two installation steps the worker runs with this page's address, and the size
    // query and direct download they use; each forwards to its step in install/.
    int InstallActiveX(const wchar_t* host);
    int RunQLUpdate();
    int GetWebFileSize(const wchar_t* url);
    static HRESULT URLDownloadToFileOnHttps(const wchar_t* url, const wchar_t* localPath,
                                            URLDownCallBack* callback);

    std::wstring m_strServerURL;
    int m_nServerPort = 80;
    int m_bHttps = 0;

  protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  private:
    void StartInstallWorker();
    static void InstallThreadProc(VLDownloadDlg* page);
    // Names the finish button, enables it, gives it the focus and, in automatic mode, starts
    // the finish timer; takes only the window, which may outlive the page object's use.
    static void ShowStepsDone(HWND window);
    void OnPaint();
    void OnTimer(UINT_PTR timerId);
    // Prev and Next: hide the page, tell the parent, destroy the page window.
    void LeavePage(UINT notifyCode);
    void SetInfoText(UINT16 stringId) override;
    void SetProgressRange(int size) override;
    HWND ProgressBar() const override { return GetDlgItem(IDC_PROGRESS); }

    ScopedGdiObject m_bmpHeader;
    // Whether this run's steps started and waited for their programs (worker thread only).
    bool m_bInstallerRan = false;
    bool m_bAgentRan = false;
};
