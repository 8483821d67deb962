#include "ui/setup_dlg.h"

namespace {

INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, IDCANCEL);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

}  // namespace

INT_PTR CVelmora_SetupDlg::DoModal() {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(102), nullptr, PageProc,
                           reinterpret_cast<LPARAM>(this));
}
