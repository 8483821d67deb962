#pragma once

#include <windows.h>
#include <wininet.h>
#include <string>

#include "sys/scoped_handle.h"

class FuncTrace;

// What the size query and the direct download share: one session per call, opened, sent and
// traced the same way with every wait bounded, and one way to turn a platform error into a
// failure result. The results it names are those of the download (install/download.h).

// Over https a certificate for another host name is accepted; every other check stays.
constexpr DWORD kOpenFlagsHttps =
    INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_TRANSFER_ASCII;
constexpr DWORD kOpenFlagsHttp = INTERNET_FLAG_TRANSFER_ASCII;
constexpr DWORD_PTR kInternetContext = 1;

// A GET request, the connection it was sent on and their session; closed in that order.
struct HttpGetRequest {
    ScopedInternetHandle session;
    ScopedInternetHandle connection;
    ScopedInternetHandle request;
};

// Sends a GET of an http or https url with openFlags in a session of its own, with the
// system's proxy settings, synchronous, whose User-Agent is the running program's file name
// without its extension and which accepts every type. Connecting, sending and every wait for
// the answer end after the quiet period (quiet_period.h), also every wait for the body read
// from the request later. Traced through scope: "Exception: %d" when no session opens,
// "openFlag: 0x%x", "OpenURL fail_" for a URL that opens no HTTP request, "SetOption fail___
// (option: %u, lastErr: %d)" for a time-out the platform refuses (the request then goes ahead
// with the platform's own limit for that wait), and the failure of a request that got no
// answer (TraceInternetFailure). S_OK, kDownloadNoRequest,
// kDownloadTimedOut or the platform's error as a failure result.
HRESULT SendTracedGetRequest(FuncTrace& scope, const wchar_t* url, DWORD openFlags,
                             HttpGetRequest& sent);

// Reads what has arrived of the body of request into buffer, at most size bytes, waiting for
// the next arrival if nothing has (a receive bounded by the request's time-out); read is 0 once
// the body has ended. False with the platform's last error when the wait or the read failed.
bool ReadArrival(HINTERNET request, void* buffer, DWORD size, DWORD& read);

// A request or read that failed with the platform's error, traced as "Exception: %d". The
// platform's time-out, and only that, is a stall: traced as such first and answered with
// kDownloadTimedOut; every other error keeps its own code.
HRESULT TraceInternetFailure(FuncTrace& scope, DWORD error);

// True for the URLs whose open yields something other than an HTTP request (ftp, gopher, a
// local file); false for http, https and everything the platform does not know.
bool OpensNoHttpRequest(const wchar_t* url);

// A negative result carrying the low 16 bits of a system or internet error code (or of an
// HTTP status).
HRESULT FailureFromCode(DWORD code);
