#include <windows.h>
#include <urlmon.h>

#include "install/https_download.h"
#include "install/url_down_callback.h"
#include "install/web_file_size.h"
#include "ui/download_dlg.h"

int VLDownloadDlg::GetWebFileSize(const wchar_t* url) { return ::GetWebFileSize(url, m_bHttps); }

HRESULT VLDownloadDlg::URLDownloadToFileOnHttps(const wchar_t* url, const wchar_t* localPath,
                                                URLDownCallBack* callback) {
    return ::URLDownloadToFileOnHttps(url, localPath, callback);
}

HRESULT VLDownloadDlg::DownloadPublishedFile(const std::wstring& url, const std::wstring& localPath,
                                             URLDownCallBack* callback) {
    if (m_bHttps == 1) return URLDownloadToFileOnHttps(url.c_str(), localPath.c_str(), callback);
    return URLDownloadToFileW(nullptr, url.c_str(), localPath.c_str(), 0, callback);
}
