#pragma once

#include <windows.h>
#include <string>

#include "res/resource.h"
#include "sys/scoped_handle.h"
#include "ui/dialog.h"

class URLDownCallBack;

// Notification codes the download page sends its parent (WM_NOTIFY, sender id 205).
constexpr UINT kDownloadPageBack = 1010;
constexpr UINT kDownloadPageFinish = 2;

// The download page: a child page over the address page that runs the installation steps
// on a worker thread and reports back (Prev) or finishes the wizard (Next).
class VLDownloadDlg : public Dialog {
  public:
    VLDownloadDlg();

    void SetServerURL(std::wstring host) { m_strServerURL = std::move(host); }

    // The two installation steps the worker runs; InstallActiveX returns -1 without a host.
    int InstallActiveX(const wchar_t* host);
    int RunQLUpdate();

    // The size query and the direct download of the update server's files.
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
    static void InstallThreadProc(VLDownloadDlg* page);
    // Sizes the progress bar from the server's answer, drops the cached copy and downloads
    // with the engine of the scheme (the direct download over https, the platform's moniker
    // download otherwise); a body short of its announced size is a failed download.
    HRESULT FetchPublishedFile(const std::wstring& url, const std::wstring& localPath,
                               URLDownCallBack* callback);
    void OnPaint();
    void OnTimer(UINT_PTR timerId);
    // Prev and Next: hide the page, tell the parent, destroy the page window.
    void LeavePage(UINT notifyCode);
    void SetInfoText(UINT16 stringId);
    // Sets the progress bar's range to 0..size before a download.
    void SetProgressRange(int size);
    HWND ProgressBar() const { return GetDlgItem(IDC_PROGRESS); }

    ScopedGdiObject m_bmpHeader;
};
