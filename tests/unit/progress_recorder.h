#pragma once

#include <windows.h>
#include <commctrl.h>
#include <vector>

// A real progress bar in a hidden window that also remembers every PBM_SETPOS it was sent,
// so tests see the whole sequence of positions as well as where the bar stands.
class ProgressRecorder {
  public:
    ProgressRecorder() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        m_parent = CreateWindowExW(0, L"STATIC", L"progress host", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                   100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        m_bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 20,
                                m_parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetPropW(m_bar, kRecorderProp, this);
        m_original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(m_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Record)));
    }
    ~ProgressRecorder() {
        SetWindowLongPtrW(m_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
        RemovePropW(m_bar, kRecorderProp);
        DestroyWindow(m_parent);
    }
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    HWND Bar() const { return m_bar; }
    const std::vector<unsigned>& Positions() const { return m_positions; }
    void SetRange(int upper) { SendMessageW(m_bar, PBM_SETRANGE32, 0, upper); }
    int Position() const { return static_cast<int>(SendMessageW(m_bar, PBM_GETPOS, 0, 0)); }

  private:
    static constexpr const wchar_t* kRecorderProp = L"ProgressRecorder";

    static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<ProgressRecorder*>(GetPropW(window, kRecorderProp));
        if (message == PBM_SETPOS) self->m_positions.push_back(static_cast<unsigned>(wParam));
        return CallWindowProcW(self->m_original, window, message, wParam, lParam);
    }

    HWND m_parent = nullptr;
    HWND m_bar = nullptr;
    WNDPROC m_original = nullptr;
    std::vector<unsigned> m_positions;
};
