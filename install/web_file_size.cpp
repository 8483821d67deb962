#include "install/web_file_size.h"

#include <string>

#include "install/http_headers.h"
#include "install/internet_session.h"
#include "log/func_trace.h"
#include "log/trace_log.h"

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
