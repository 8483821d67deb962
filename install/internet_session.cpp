#include "install/internet_session.h"

#include <cwchar>
#include <initializer_list>

#include "install/download.h"
#include "install/internet_session_test_hook.h"
#include "install/quiet_period.h"
#include "log/trace_log.h"
#include "sys/lazy_api.h"
#include "sys/module_info.h"
#include "sys/path_text.h"

namespace {

struct HttpUrlParts {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
};

std::wstring Part(const wchar_t* text, DWORD length) {
    return text != nullptr ? std::wstring(text, length) : std::wstring();
}

bool CrackHttpUrl(const wchar_t* url, HttpUrlParts& parts) {
    URL_COMPONENTSW components = {};
    components.dwStructSize = sizeof(components);
    // Non-zero lengths without buffers ask for pointers into url.
    components.dwHostNameLength = 1;
    components.dwUrlPathLength = 1;
    components.dwExtraInfoLength = 1;
    if (!LazyApi::InternetCrackUrlW(url, 0, 0, &components)) return false;
    if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return false;
    }
    parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
    parts.host = Part(components.lpszHostName, components.dwHostNameLength);
    parts.port = components.nPort;
    parts.object = Part(components.lpszUrlPath, components.dwUrlPathLength) +
                   Part(components.lpszExtraInfo, components.dwExtraInfoLength);
    return true;
}

const WaitingCalls kPlatformCalls = {
    [](HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
        return LazyApi::InternetSetOptionW(handle, option, buffer, length);
    },
    [](HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
       DWORD optionalLength) {
        return LazyApi::HttpSendRequestW(request, headers, headersLength, optional, optionalLength);
    },
    [](HINTERNET file, LPDWORD available, DWORD flags, DWORD_PTR context) {
        return LazyApi::InternetQueryDataAvailable(file, available, flags, context);
    },
    [](HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
        return LazyApi::InternetReadFile(file, buffer, toRead, read);
    }};

// Every type, as the platform's own URL open asks for.
const wchar_t* kAcceptTypes[] = {L"*/*", nullptr};

// The platform's own limits differ between Windows versions and Wine, and some never end.
// Wine takes them from the request handle only, Windows from every handle: set there, before
// the request is sent, they bound the connection, the headers and every read of the body. A
// refused one is named, and the request goes ahead with the platform's own limit for that wait.
void BoundWaits(FuncTrace& scope, HINTERNET request) {
    DWORD periodMs = QuietPeriodMs();
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        if (g_waitingCalls.Get()->setOption(request, option, &periodMs, sizeof(periodMs))) continue;
        TraceMsg(scope, "SetOption fail___(option: %u, lastErr: %d)", static_cast<unsigned>(option),
                 static_cast<int>(GetLastError()));
    }
}

ScopedInternetHandle OpenInternetSession() {
    std::wstring agent = StemOfNameOrWholeName(GetModuleName());
    return ScopedInternetHandle(
        LazyApi::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

bool SendGetRequest(FuncTrace& scope, HINTERNET session, const wchar_t* url, DWORD openFlags,
                    HttpGetRequest& sent) {
    HttpUrlParts parts;
    if (!CrackHttpUrl(url, parts)) return false;
    sent.connection.Reset(LazyApi::InternetConnectW(session, parts.host.c_str(), parts.port,
                                                    nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                                    kInternetContext));
    if (!sent.connection) return false;
    DWORD flags = openFlags | (parts.secure ? INTERNET_FLAG_SECURE : 0);
    sent.request.Reset(LazyApi::HttpOpenRequestW(sent.connection.Get(), L"GET",
                                                 parts.object.c_str(), nullptr, nullptr,
                                                 kAcceptTypes, flags, kInternetContext));
    if (!sent.request) return false;
    BoundWaits(scope, sent.request.Get());
    return g_waitingCalls.Get()->sendRequest(sent.request.Get(), nullptr, 0, nullptr, 0) != FALSE;
}

}  // namespace

TestSeam<const WaitingCalls*> g_waitingCalls{&kPlatformCalls};

HRESULT SendTracedGetRequest(FuncTrace& scope, const wchar_t* url, DWORD openFlags,
                             HttpGetRequest& sent) {
    sent.session = OpenInternetSession();
    if (!sent.session) {
        DWORD error = GetLastError();
        TraceMsg(scope, "Exception: %d", static_cast<int>(error));
        return FailureFromCode(error);
    }
    TraceMsg(scope, "openFlag: 0x%x", static_cast<unsigned>(openFlags));
    if (OpensNoHttpRequest(url)) {
        TraceMsg(scope, "OpenURL fail_");
        return kDownloadNoRequest;
    }
    if (!SendGetRequest(scope, sent.session.Get(), url, openFlags, sent))
        return TraceInternetFailure(scope, GetLastError());
    return S_OK;
}

// A synchronous read returns only when its buffer is full or the body has ended, so a read of
// the whole buffer would hold a slow body's progress back for a buffer's worth of arrivals, and
// could outlast the receive time-out though the body keeps coming. The wait for the next
// arrival is one receive, bounded by the time-out; then the read takes what has arrived. When
// nothing more is to come the availability is 0, and a read of the whole buffer confirms the
// end at once.
bool ReadArrival(HINTERNET request, void* buffer, DWORD size, DWORD& read) {
    const WaitingCalls* calls = g_waitingCalls.Get();
    DWORD available = 0;
    read = 0;
    if (!calls->queryDataAvailable(request, &available, 0, 0)) return false;
    DWORD toRead = available == 0 || available > size ? size : available;
    return calls->readFile(request, buffer, toRead, &read) != FALSE;
}

const WaitingCalls& PlatformWaitingCalls() { return kPlatformCalls; }

HRESULT TraceInternetFailure(FuncTrace& scope, DWORD error) {
    bool stalled = error == ERROR_INTERNET_TIMEOUT;
    if (stalled) TraceTimedOut(scope);
    TraceMsg(scope, "Exception: %d", static_cast<int>(error));
    return stalled ? kDownloadTimedOut : FailureFromCode(error);
}

bool OpensNoHttpRequest(const wchar_t* url) {
    static const wchar_t* const kOtherSchemes[] = {L"ftp:", L"gopher:", L"file:"};
    for (const wchar_t* scheme : kOtherSchemes) {
        if (_wcsnicmp(url, scheme, wcslen(scheme)) == 0) return true;
    }
    return false;
}

HRESULT FailureFromCode(DWORD code) { return static_cast<HRESULT>(0x80000000u | (code & 0xFFFFu)); }
