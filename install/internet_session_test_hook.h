#pragma once

#include <windows.h>
#include <wininet.h>

#include "sys/test_seam.h"

// For the tests only: the platform calls of a request that take its time-outs or wait under
// them. Windows refuses a time-out on a handle that does not take it, and ends a wait that
// outlasts one with ERROR_INTERNET_TIMEOUT. Wine takes every time-out on any handle, and ends
// such a wait with ERROR_INTERNET_CONNECTION_ABORTED, as it ends a reset connection. A test
// shows the platform's behaviour on Windows by putting calls of its own in place here.
struct WaitingCalls {
    BOOL (*setOption)(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length);
    BOOL(*sendRequest)
    (HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
     DWORD optionalLength);
    BOOL (*queryDataAvailable)(HINTERNET file, LPDWORD available, DWORD flags, DWORD_PTR context);
    BOOL (*readFile)(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
};

// The platform's own calls.
const WaitingCalls& PlatformWaitingCalls();

extern TestSeam<const WaitingCalls*> g_waitingCalls;
