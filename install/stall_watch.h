#pragma once

#include <windows.h>
#include <condition_variable>
#include <mutex>
#include <thread>

class URLDownCallBack;

// Ends a moniker download once its callback has had no report for the quiet period
// (quiet_period.h). The platform's download cannot be given a time-out of its own under every
// Windows and Wine, and it waits in a message loop of the thread that called it: a message-only
// window of the watch on that thread receives the request to end, so that the binding is
// aborted on its own thread. Made, used and destroyed on the thread that runs one download.
class StallWatch {
  public:
    explicit StallWatch(URLDownCallBack& callback);
    ~StallWatch();

    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

    // True once the watch has ended the download.
    bool TimedOut() const { return m_timedOut; }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void WaitForStall();

    URLDownCallBack& m_callback;
    HWND m_window = nullptr;
    bool m_timedOut = false;
    std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_stop = false;
    std::thread m_watcher;
};
