#include <windows.h>

#include "install/https_download.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/server_urls.h"
#include "install/web_file_size.h"
#include "sys/lazy_api.h"

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
