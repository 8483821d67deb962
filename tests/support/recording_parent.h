#pragma once

#include <windows.h>
#include <vector>

#include "res/resource.h"

// A plain top-level window standing in for the address page: it records the notification
// codes the download page sends it.
class RecordingParent {
  public:
    RecordingParent() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VelmoraRecordingParent";
        RegisterClassW(&windowClass);
        m_hWnd = CreateWindowExW(0, windowClass.lpszClassName, L"parent", WS_OVERLAPPEDWINDOW, 0, 0,
                                 700, 450, nullptr, nullptr, windowClass.hInstance, this);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RecordingParent() { DestroyWindow(m_hWnd); }

    HWND Get() const { return m_hWnd; }
    std::vector<UINT> codes;

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<RecordingParent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_NOTIFY && self != nullptr && wParam == IDD_DOWNLOAD_PAGE) {
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDD_DOWNLOAD_PAGE) self->codes.push_back(header->code);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_hWnd;
};
