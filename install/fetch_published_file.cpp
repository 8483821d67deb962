#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include "install/download_check.h"
#include "install/https_download.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/url_down_callback.h"
#include "install/web_file_size.h"
#include "sys/lazy_api.h"

HRESULT FetchPublishedFile(const std::wstring& url, const std::wstring& localPath, int https,
                           URLDownCallBack* callback, InstallDisplay& display) {
    int size = GetWebFileSize(url.c_str(), https);
    LazyApi::DeleteUrlCacheEntryW(url.c_str());
    display.SetProgressRange(size);
    HRESULT hr = https == 1 ? URLDownloadToFileOnHttps(url.c_str(), localPath.c_str(), callback)
                            : LazyApi::URLDownloadToFileW(nullptr, url.c_str(), localPath.c_str(),
                                                          0, callback);
    // The moniker download reports a body cut short as finished.
    if (hr >= 0 && IsShortDownload(localPath, size)) hr = kDownloadIncomplete;
    return hr;
}
