#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include "install/download_check.h"
#include "install/https_download.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/url_down_callback.h"
#include "install/web_file_size.h"
#include "log/trace_log.h"
#include "sys/lazy_api.h"

HRESULT FetchPublishedFile(FuncTrace& scope, const std::wstring& url, const std::wstring& localPath,
                           int https, URLDownCallBack* callback, InstallDisplay& display) {
    // The size only scales the bar: the file may change between the two requests, and an
    // error page may answer the first one.
    int size = GetWebFileSize(url.c_str(), https);
    LazyApi::DeleteUrlCacheEntryW(url.c_str());
    display.SetProgressRange(size);
    if (https == 1) return URLDownloadToFileOnHttps(url.c_str(), localPath.c_str(), callback);

    if (callback != nullptr) callback->ForgetAnnouncedLength();
    HRESULT hr = LazyApi::URLDownloadToFileW(nullptr, url.c_str(), localPath.c_str(), 0, callback);
    // The moniker download reports a body cut short as finished; its own answer's length,
    // which the callback saw, tells.
    if (hr >= 0 && callback != nullptr) {
        unsigned long long announced = callback->AnnouncedLength();
        unsigned long long onDisk = FileSizeOnDisk(localPath);
        if (onDisk < announced) {
            TraceMsg(scope, "Download incomplete___(%I64u of %I64u)", onDisk, announced);
            hr = kDownloadIncomplete;
        }
    }
    return hr;
}
