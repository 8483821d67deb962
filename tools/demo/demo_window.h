#pragma once

// The one thing the demo programs show: a small window with a few lines of text that closes
// by itself, so that a person watching the demo sees which program ran and with what, and the
// setup goes on without anybody clicking.

#include <windows.h>
#include <string>

namespace demo {

constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kShownMs = 1500;
constexpr int kWidth = 420;
constexpr int kHeight = 150;

inline LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kCloseTimer) {
                KillTimer(window, kCloseTimer);
                DestroyWindow(window);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

inline void AddText(HWND window, const std::wstring& text) {
    RECT client = {};
    GetClientRect(window, &client);
    HWND label = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 12,
                                 12, client.right - 24, client.bottom - 24, window, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
}

// Shows the window centred on the screen for about a second and a half; returns when it has
// closed.
inline void ShowBriefly(const wchar_t* title, const std::wstring& text) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DemoWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"VelmoraDemoWindow";
    RegisterClassW(&windowClass);

    int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    HWND window = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, title,
                                  WS_CAPTION | WS_SYSMENU | WS_VISIBLE, x, y, kWidth, kHeight,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return;
    AddText(window, text);
    SetForegroundWindow(window);
    SetTimer(window, kCloseTimer, kShownMs, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace demo
