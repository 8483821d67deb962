#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include "install/download_check.h"
#include "install/https_download.h"
#include "install/url_down_callback.h"
#include "install/web_file_size.h"
#include "sys/lazy_api.h"
#include "ui/download_dlg.h"

int VLDownloadDlg::GetWebFileSize(const wchar_t* url) { return ::GetWebFileSize(url, m_bHttps); }

HRESULT VLDownloadDlg::URLDownloadToFileOnHttps(const wchar_t* url, const wchar_t* localPath,
                                                URLDownCallBack* callback) {
    return ::URLDownloadToFileOnHttps(url, localPath, callback);
}

HRESULT VLDownloadDlg::FetchPublishedFile(const std::wstring& url, const std::wstring& localPath,
                                          URLDownCallBack* callback) {
    int size = GetWebFileSize(url.c_str());
    LazyApi::DeleteUrlCacheEntryW(url.c_str());
    SetProgressRange(size);
    HRESULT hr = m_bHttps == 1 ? URLDownloadToFileOnHttps(url.c_str(), localPath.c_str(), callback)
                               : LazyApi::URLDownloadToFileW(nullptr, url.c_str(),
                                                             localPath.c_str(), 0, callback);
    // The moniker download reports a body cut short as finished.
    if (hr >= 0 && IsShortDownload(localPath, size)) hr = kDownloadIncomplete;
    return hr;
}
