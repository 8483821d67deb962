#include "install/https_download.h"

#include <urlmon.h>
#include <wininet.h>
#include <string>
#include <vector>

#include "install/http_headers.h"
#include "install/internet_session.h"
#include "install/progress_scale.h"
#include "install/url_down_callback.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/file_in_folder.h"
#include "sys/lazy_api.h"
#include "sys/scoped_handle.h"

namespace {

// One buffer for the whole transfer; each read takes what has arrived, up to its size.
constexpr DWORD kTransferBlock = 65535;
constexpr DWORD kFirstFailedStatus = 400;

void ReportProgress(URLDownCallBack* callback, ULONG progress, ULONG progressMax, ULONG status) {
    if (callback != nullptr) callback->OnProgress(progress, progressMax, status, L"");
}

HRESULT TraceFailure(FuncTrace& scope, const char* format, DWORD code) {
    TraceMsg(scope, format, static_cast<int>(code));
    return FailureFromCode(code);
}

// An answer of 400 or above carries an error page, never the file.
bool IsFailedStatus(HINTERNET request, DWORD& status) {
    DWORD size = sizeof(status);
    if (!LazyApi::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                 &size, nullptr))
        return false;
    return status >= kFirstFailedStatus;
}

bool QueryAnnouncedLength(HINTERNET request, unsigned long long& length) {
    std::wstring text;
    return QueryHeaderText(request, HTTP_QUERY_CONTENT_LENGTH, text) &&
           ParseAnnouncedLength(text, length);
}

// Created anew for writing only and shared with nobody; paths of MAX_PATH or more characters
// are refused. It may be deleted through its handle, so that a download that stalled takes its
// partial file with it.
HANDLE CreateLocalFile(const wchar_t* localPath) {
    DWORD length = GetFullPathNameW(localPath, 0, nullptr, nullptr);
    if (length == 0) return INVALID_HANDLE_VALUE;
    std::vector<wchar_t> fullPath(length, L'\0');
    length = GetFullPathNameW(localPath, length, fullPath.data(), nullptr);
    if (length == 0) return INVALID_HANDLE_VALUE;
    if (length >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(fullPath.data(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Copies the response body into the file as it arrives; total counts the bytes written.
HRESULT CopyBody(FuncTrace& scope, HINTERNET request, HANDLE file, URLDownCallBack* callback,
                 unsigned long long announced, unsigned long long& total) {
    std::vector<char> block(kTransferBlock, 0);
    for (;;) {
        DWORD read = 0;
        if (!ReadArrival(request, block.data(), kTransferBlock, read)) {
            HRESULT failure = TraceInternetFailure(scope, GetLastError());
            // A stalled download leaves nothing behind.
            if (failure == kDownloadTimedOut) DeleteWhenClosed(file);
            return failure;
        }
        if (read == 0) return S_OK;
        DWORD written = 0;
        if (!WriteFile(file, block.data(), read, &written, nullptr) || written != read)
            return TraceFailure(scope, "localFile.Write fail___(lastErr: %d)", GetLastError());
        total += read;
        ReportProgress(callback, BarPosition(total, announced), 0, BINDSTATUS_DOWNLOADINGDATA);
    }
}

// Where the body goes: a path, or a name inside a folder the caller holds.
struct LocalTarget {
    const wchar_t* path;
    HANDLE folder;
    const wchar_t* name;
};

// A name in a held folder is created there anew, through the folder's handle, whatever stood
// under it before and whatever the folder's path leads to by now.
HANDLE CreateTargetFile(const LocalTarget& target) {
    if (target.folder == nullptr) return CreateLocalFile(target.path);
    HANDLE file = CreateFreshFileIn(target.folder, target.name, GENERIC_WRITE | DELETE, 0, nullptr);
    return file != nullptr ? file : INVALID_HANDLE_VALUE;
}

HRESULT Download(FuncTrace& scope, const wchar_t* url, const LocalTarget& target,
                 URLDownCallBack* callback) {
    HttpGetRequest sent;
    HRESULT opened = SendTracedGetRequest(scope, url, kOpenFlagsHttps, sent);
    if (FAILED(opened)) return opened;
    HINTERNET request = sent.request.Get();

    // Checked before the local file exists, so that an error page never replaces a file.
    DWORD status = 0;
    if (IsFailedStatus(request, status))
        return TraceFailure(scope, "HttpStatus fail___(%d)", status);
    unsigned long long announced = 0;
    bool hasLength = QueryAnnouncedLength(request, announced);

    ScopedKernelHandle file(CreateTargetFile(target));
    if (!file) return TraceFailure(scope, "localFile.Open fail___(lastErr: %d)", GetLastError());
    TraceMsg(scope, "Local file open success.");

    unsigned long long total = 0;
    HRESULT result =
        CopyBody(scope, request, file.Get(), callback, hasLength ? announced : 0, total);
    if (FAILED(result)) return result;
    // A write the system could only fail once the file is closed (a full network share, a
    // quota) shows in the close; no sync of the whole file is needed for that.
    if (!CloseHandle(file.Take()))
        return TraceFailure(scope, "localFile.Close fail___(lastErr: %d)", GetLastError());

    // A connection closed early ends the body without an error; only the length tells.
    if (hasLength && total < announced) {
        TraceMsg(scope, "Download incomplete___(%I64u of %I64u)", total, announced);
        return kDownloadIncomplete;
    }
    ReportProgress(callback, 0, BarPosition(total, hasLength ? announced : 0),
                   BINDSTATUS_ENDDOWNLOADDATA);
    return S_OK;
}

}  // namespace

HRESULT URLDownloadToFileOnHttps(const wchar_t* url, const wchar_t* localPath,
                                 URLDownCallBack* callback) {
    FuncTrace scope("VLDownloadDlg::URLDownloadToFileOnHttps");
    if (url == nullptr || *url == L'\0') return E_INVALIDARG;
    if (localPath == nullptr || *localPath == L'\0') return E_INVALIDARG;
    return Download(scope, url, {localPath, nullptr, nullptr}, callback);
}

HRESULT URLDownloadToFileOnHttps(const wchar_t* url, HANDLE folder, const wchar_t* fileName,
                                 URLDownCallBack* callback) {
    FuncTrace scope("VLDownloadDlg::URLDownloadToFileOnHttps");
    if (url == nullptr || *url == L'\0') return E_INVALIDARG;
    if (folder == nullptr || fileName == nullptr || *fileName == L'\0') return E_INVALIDARG;
    return Download(scope, url, {nullptr, folder, fileName}, callback);
}
