#include "install/download.h"

#include <urlmon.h>
#include <string>
#include <vector>

#include "install/content_length.h"
#include "install/install_display.h"
#include "install/install_paths.h"
#include "install/internet_session.h"
#include "install/progress_scale.h"
#include "install/server_urls.h"
#include "install/url_down_callback.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/file_in_folder.h"
#include "sys/lazy_api.h"
#include "sys/private_folder.h"
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

// A response header as text: first asked for its length, then read into a buffer of that
// length. False with the platform's last error when the header is missing or unreadable.
bool QueryHeaderText(HINTERNET request, DWORD query, std::wstring& text) {
    DWORD size = 0;
    if (!LazyApi::HttpQueryInfoW(request, query, nullptr, &size, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!LazyApi::HttpQueryInfoW(request, query, buffer.data(), &size, nullptr)) return false;
    text.assign(buffer.data());
    return true;
}

bool QueryAnnouncedLength(HINTERNET request, unsigned long long& length) {
    std::wstring text;
    return QueryHeaderText(request, HTTP_QUERY_CONTENT_LENGTH, text) &&
           ParseAnnouncedLength(text, length);
}

// Created anew for writing only and shared with nobody; paths of MAX_PATH or more characters
// are refused. It may be deleted through its handle, so that a download that stalled takes its
// partial file with it.
ScopedKernelHandle CreateLocalFile(const wchar_t* localPath) {
    DWORD length = GetFullPathNameW(localPath, 0, nullptr, nullptr);
    if (length == 0) return nullptr;
    std::vector<wchar_t> fullPath(length, L'\0');
    length = GetFullPathNameW(localPath, length, fullPath.data(), nullptr);
    if (length == 0) return nullptr;
    if (length >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return ScopedKernelHandle(CreateFileW(fullPath.data(), GENERIC_WRITE | DELETE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
ScopedKernelHandle CreateTargetFile(const LocalTarget& target) {
    if (target.folder == nullptr) return CreateLocalFile(target.path);
    return CreateFreshFileIn(target.folder, target.name, GENERIC_WRITE | DELETE, 0, nullptr);
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

    ScopedKernelHandle file = CreateTargetFile(target);
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

bool MakeDownloadFolder(FuncTrace& scope, PrivateFolder& folder) {
    if (folder.Create(MachineTempFolder(), kDownloadFolderPrefix)) return true;
    TraceMsg(scope, "TempDir create fail___");
    return false;
}

HRESULT FetchIntoFolder(FuncTrace& scope, const PrivateFolder& folder,
                        const ServiceAddress& service, const std::wstring& path,
                        const wchar_t* fileName, URLDownCallBack* callback,
                        InstallDisplay& display) {
    if (!folder.IsIntact()) return E_ACCESSDENIED;
    return FetchPublishedFile(scope, service, path, folder.File(fileName), callback, display,
                              folder.Handle(), fileName);
}

HRESULT FetchPublishedFile(FuncTrace&, const ServiceAddress& service, const std::wstring& path,
                           const std::wstring& localPath, URLDownCallBack* callback,
                           InstallDisplay& display, HANDLE folder, const wchar_t* fileName) {
    std::wstring url = PublishedFileURL(service, path);
    // The size only scales the bar: the file may change between the two requests, and an
    // error page may answer the first one.
    int size = GetWebFileSize(url.c_str(), service.https);
    LazyApi::DeleteUrlCacheEntryW(url.c_str());
    display.SetProgressRange(size);
    // One engine for both schemes: the platform's moniker download has no wait that Windows
    // documents an end for, and reports a slow body only once a buffer of its own is full.
    if (folder != nullptr) return URLDownloadToFileOnHttps(url.c_str(), folder, fileName, callback);
    return URLDownloadToFileOnHttps(url.c_str(), localPath.c_str(), callback);
}

int GetWebFileSize(const wchar_t* url, bool https) {
    FuncTrace scope("VLDownloadDlg::GetWebFileSize");
    if (url == nullptr) {
        TraceMsg(scope, "FileURL is NULL___");
        return -1;
    }
    if (*url == L'\0') {
        TraceMsg(scope, "FileURL is empty___");
        return -1;
    }

    // Only the headers are wanted: closing the request without reading drops the body.
    HttpGetRequest sent;
    if (FAILED(SendTracedGetRequest(scope, url, https ? kOpenFlagsHttps : kOpenFlagsHttp, sent)))
        return -1;

    std::wstring lengthText;
    if (!QueryHeaderText(sent.request.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText)) {
        TraceMsg(scope, "HttpFile QueryInfo fail___(LaseErr:%d)", static_cast<int>(GetLastError()));
        return -1;
    }
    sent.request.Close();
    int size = ParseContentLength(lengthText);
    TraceMsg(scope, "ServerFileSize: %d", size);
    return size;
}

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
