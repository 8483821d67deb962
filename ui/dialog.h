#pragma once

#include <windows.h>

// The small dialog class the pages derive from: a template id, modal or child creation,
// one message procedure that routes to the page's own handlers, and control access by id.
class Dialog {
  public:
    explicit Dialog(UINT templateId) : m_templateId(templateId) {}
    virtual ~Dialog();

    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value it ended with, or -1 when it cannot open.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog as a window without a modal loop (the download page is a child).
    bool Create(HWND parent);
    // A modal dialog leaves its loop; a modeless one is hidden.
    void EndDialog(INT_PTR result);
    void DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

  protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // BN_CLICKED and other WM_COMMAND notifications; true when handled.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    // Every other message; true when handled. result is what the dialog procedure returns
    // (TRUE unless the handler sets it, as WM_QUERYDRAGICON does with its icon).
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    HWND m_hWnd = nullptr;

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    bool m_modal = false;
};
