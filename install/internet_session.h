#pragma once

#include <windows.h>
#include <wininet.h>
#include <string>

#include "sys/lazy_api.h"
#include "sys/scoped_handle.h"

// What the size query and the direct download share: one session per call, opened the same
// way, one way to send a GET whose every wait is bounded, and one way to turn a platform error
// into a failure result.

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { LazyApi::InternetCloseHandle(h); }
};
using ScopedInternetHandle = ScopedHandle<InternetHandleTraits>;

// Over https a certificate for another host name is accepted; every other check stays.
constexpr DWORD kOpenFlagsHttps =
    INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_TRANSFER_ASCII;
constexpr DWORD kOpenFlagsHttp = INTERNET_FLAG_TRANSFER_ASCII;
constexpr DWORD_PTR kInternetContext = 1;

// A session with the system's proxy settings, synchronous; its User-Agent is the running
// program's file name without its extension.
HINTERNET OpenInternetSession();

// A GET request and the connection it was sent on; the request is closed first.
struct HttpGetRequest {
    ScopedInternetHandle connection;
    ScopedInternetHandle request;
};

// Sends a GET of an http or https url on session with openFlags. Connecting, sending and every
// wait for the answer end after the quiet period (quiet_period.h), also for the body read from
// the request later. False with the platform's last error when no answer came.
bool SendGetRequest(HINTERNET session, const wchar_t* url, DWORD openFlags, HttpGetRequest& sent);

// True for the URLs whose open yields something other than an HTTP request (ftp, gopher, a
// local file); false for http, https and everything the platform does not know.
bool OpensNoHttpRequest(const wchar_t* url);

// A negative result carrying the low 16 bits of a system or internet error code (or of an
// HTTP status).
HRESULT FailureFromCode(DWORD code);
