#include "install/stall_watch.h"

#include <chrono>

#include "install/quiet_period.h"
#include "install/url_down_callback.h"

namespace {

const wchar_t kWindowClass[] = L"VelmoraStallWatch";
constexpr UINT kEndStalledDownload = WM_APP + 1;

bool RegisterWatchClass(WNDPROC procedure) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

StallWatch::StallWatch(URLDownCallBack& callback) : m_callback(callback) {
    static const bool registered = RegisterWatchClass(WindowProc);
    m_callback.RestartQuietClock();
    if (!registered) return;
    m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (m_window == nullptr) return;
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_watcher = std::thread([this] { WaitForStall(); });
}

StallWatch::~StallWatch() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_stopping.notify_all();
    if (m_watcher.joinable()) m_watcher.join();
    if (m_window != nullptr) DestroyWindow(m_window);
}

LRESULT CALLBACK StallWatch::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kEndStalledDownload) return DefWindowProcW(window, message, wParam, lParam);
    auto* watch = reinterpret_cast<StallWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (watch != nullptr && watch->m_callback.AbortBinding()) watch->m_timedOut = true;
    return 0;
}

void StallWatch::WaitForStall() {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto stopsWithin = [&](unsigned long long ms) {
        return m_stopping.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop; });
    };
    for (;;) {
        unsigned long long quietMs = m_callback.MsSinceLastReport();
        unsigned long periodMs = QuietPeriodMs();
        if (quietMs < periodMs) {
            if (stopsWithin(periodMs - quietMs)) return;
            continue;
        }
        // Handled at the download thread's next look at its messages, whatever it filters
        // them by; the posted message wakes a loop that waits for posted messages only. A
        // download whose binding had not started yet is asked again a period later.
        SendNotifyMessageW(m_window, kEndStalledDownload, 0, 0);
        PostMessageW(m_window, WM_NULL, 0, 0);
        if (stopsWithin(periodMs)) return;
    }
}
