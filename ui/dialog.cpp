#include "ui/dialog.h"

Dialog::~Dialog() { DestroyWindow(); }

INT_PTR Dialog::DoModal(HWND parent) {
    m_modal = true;
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId),
                                     parent, DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

bool Dialog::Create(HWND parent) {
    m_modal = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent,
                              DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    if (m_hWnd == nullptr) return;
    if (m_modal)
        ::EndDialog(m_hWnd, result);
    else
        ShowWindow(m_hWnd, SW_HIDE);
}

void Dialog::DestroyWindow() {
    if (m_hWnd != nullptr && !m_modal) ::DestroyWindow(m_hWnd);
}

bool Dialog::OnCommand(WORD id, WORD, HWND) {
    switch (id) {
        case IDOK:
            OnOK();
            return true;
        case IDCANCEL:
            OnCancel();
            return true;
        default:
            return false;
    }
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->m_hWnd = window;
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (self == nullptr) return FALSE;
    INT_PTR result = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    if (message == WM_COMMAND &&
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)))
        return TRUE;
    INT_PTR result = TRUE;
    return OnMessage(message, wParam, lParam, result) ? result : FALSE;
}
