#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "install/service_address.h"
#include "sys/scoped_handle.h"
#include "ui/deferred_startup.h"
#include "ui/dialog.h"
#include "ui/download_dlg.h"
#include "ui/wizard_state.h"

// The address page: the wizard's modal main window. It takes or shows the service address,
// probes it on Next, and hosts the download page as a child over its own hidden controls.
class CVelmora_SetupDlg : public Dialog {
  public:
    // presetAddress: the address found before the page opens, host or host:port without a
    // scheme (empty for none), which the page shows locked; https: the scheme it starts with;
    // startup: the application's work left until the page shows, or null.
    explicit CVelmora_SetupDlg(WizardState& state, std::wstring presetAddress = {},
                               bool https = false, DeferredStartup* startup = nullptr);

    void ShowPageControls(bool show);
    void InitPageControls();

  protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void OnOK() override {}
    void OnCancel() override;

  private:
    void OnSysCommand(UINT commandId, LPARAM lParam);
    void OnPaint();
    void OnTimer(UINT_PTR timerId);
    void FinishStartup();
    void OnNotify(const NMHDR& header);
    void OnEnChangeHost();
    void OnBnClickedScheme(int controlId);
    void OnBnClickedNext();
    bool RouteKeyToDownloadPage(WORD id, WORD code);
    void OpenDownloadPage(const ServiceAddress& service);
    void ReportUnreachableService();

    WizardState& m_state;
    DeferredStartup* m_startup;
    std::wstring m_strPresetAddress;
    bool m_bHttps;
    HICON m_hIcon;
    int m_nPresetPort = 0;
    std::vector<HWND> m_childWnds;
    ScopedGdiObject m_bmpHeader;
    VLDownloadDlg m_downloadPage;
};
