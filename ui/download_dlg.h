#pragma once

#include <windows.h>

#include "install/install_display.h"
#include "install/service_address.h"
#include "res/resource.h"
#include "sys/scoped_handle.h"
#include "ui/dialog.h"
#include "ui/wizard_state.h"

// Notification codes the download page sends its parent (WM_NOTIFY, sender id 205).
constexpr UINT kDownloadPageBack = 1010;
constexpr UINT kDownloadPageFinish = 2;

// The download page: a child page over the address page that runs the installation steps
// on a worker thread and reports back (Prev) or finishes the wizard (Next).
class VLDownloadDlg : public Dialog, private InstallDisplay {
  public:
    explicit VLDownloadDlg(WizardState& state);

    // The address the installation steps download from; set before the page window is made.
    void SetServiceAddress(const ServiceAddress& service) { m_service = service; }

  protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  private:
    void StartInstallWorker();
    static void InstallThreadProc(VLDownloadDlg* page);
    // Names the finish button, enables it, gives it the focus and, in automatic mode, starts
    // the finish timer; takes only the window and the state, which outlive the page object's
    // use.
    static void ShowStepsDone(HWND window, const WizardState& state);
    void OnPaint();
    void OnTimer(UINT_PTR timerId);
    // Prev and Next: hide the page, tell the parent, destroy the page window.
    void LeavePage(UINT notifyCode);
    void SetInfoText(UINT16 stringId) override;
    void SetProgressRange(int size) override;
    HWND ProgressBar() const override { return GetDlgItem(IDC_PROGRESS); }

    WizardState& m_state;
    ServiceAddress m_service;
    ScopedGdiObject m_bmpHeader;
};
