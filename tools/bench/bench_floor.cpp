// The floor the setup program is measured against: the least a static Win32 C++ program of its
// kind carries, one modal dialog and one line through std::cout (the trace log's streams pull in
// the same iostream machinery), with the version 6 common controls that its progress bar needs
// (the same manifest, and the classes registered at start). Built with the program's own
// toolchain and flags.
#include <windows.h>
#include <commctrl.h>
#include <iostream>

#include "tools/bench/bench_floor.h"

namespace {

INT_PTR CALLBACK FloorDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    std::cout << "floor" << std::endl;
    INITCOMMONCONTROLSEX classes = {sizeof(classes), 0xFF};
    InitCommonControlsEx(&classes);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FLOOR), nullptr, FloorDialogProc, 0);
    return 0;
}
