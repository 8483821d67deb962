#pragma once

// Windows ends a request's wait that outlasts WinINet's receive time-out with
// ERROR_INTERNET_TIMEOUT. Wine ends it with ERROR_INTERNET_CONNECTION_ABORTED, the error of a
// reset connection, over https, and with the socket's own WSAETIMEDOUT over http. While a
// WindowsTimeOuts lives, the program's requests in this process see a wait that failed so after
// lasting the whole time-out in force as Windows reports it. Each of
// the program's waits is for one arrival at most, so a reset that ends a wait sooner keeps its
// own error. Under Windows nothing is changed.
#include <windows.h>
#include <wininet.h>

#include "install/internet_session_test_hook.h"
#include "install/quiet_period.h"

namespace windows_time_outs {

inline bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The platform's waits may end a tick early by the clock that measures them.
constexpr unsigned long long kClockSlackMs = 100;

inline BOOL AsWindows(BOOL result, unsigned long long startTick) {
    DWORD error = GetLastError();
    if (result || (error != ERROR_INTERNET_CONNECTION_ABORTED && error != WSAETIMEDOUT))
        return result;
    if (GetTickCount64() - startTick + kClockSlackMs >= QuietPeriodMs())
        SetLastError(ERROR_INTERNET_TIMEOUT);
    return result;
}

inline BOOL SendRequest(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                        DWORD optionalLength) {
    unsigned long long start = GetTickCount64();
    return AsWindows(PlatformWaitingCalls().sendRequest(request, headers, headersLength, optional,
                                                        optionalLength),
                     start);
}

inline BOOL QueryDataAvailable(HINTERNET file, LPDWORD available, DWORD flags, DWORD_PTR context) {
    unsigned long long start = GetTickCount64();
    return AsWindows(PlatformWaitingCalls().queryDataAvailable(file, available, flags, context),
                     start);
}

inline BOOL ReadBody(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
    unsigned long long start = GetTickCount64();
    return AsWindows(PlatformWaitingCalls().readFile(file, buffer, toRead, read), start);
}

}  // namespace windows_time_outs

class WindowsTimeOuts {
  public:
    WindowsTimeOuts()
        : m_override(g_waitingCalls,
                     windows_time_outs::UnderWine() ? &m_calls : &PlatformWaitingCalls()) {}

  private:
    const WaitingCalls m_calls = {PlatformWaitingCalls().setOption, windows_time_outs::SendRequest,
                                  windows_time_outs::QueryDataAvailable,
                                  windows_time_outs::ReadBody};
    TestSeam<const WaitingCalls*>::Override m_override;
};
