#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include "install/download_check.h"
#include "install/https_download.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/quiet_period.h"
#include "install/server_urls.h"
#include "install/stall_watch.h"
#include "install/url_down_callback.h"
#include "install/web_file_size.h"
#include "log/trace_log.h"
#include "sys/lazy_api.h"

namespace {

// The platform's download, ended by the watch when nothing is reported for the quiet period;
// an ended download leaves no file, as the platform copies it into place only once whole.
HRESULT MonikerDownload(FuncTrace& scope, const std::wstring& url, const std::wstring& localPath,
                        URLDownCallBack& callback) {
    StallWatch watch(callback);
    HRESULT hr = LazyApi::URLDownloadToFileW(nullptr, url.c_str(), localPath.c_str(), 0, &callback);
    if (!watch.TimedOut()) return hr;
    TraceTimedOut(scope);
    return kDownloadTimedOut;
}

}  // namespace

HRESULT FetchPublishedFile(FuncTrace& scope, const ServiceAddress& service,
                           const std::wstring& path, const std::wstring& localPath,
                           URLDownCallBack* callback, InstallDisplay& display, HANDLE folder,
                           const wchar_t* fileName) {
    std::wstring url = PublishedFileURL(service, path);
    // The size only scales the bar: the file may change between the two requests, and an
    // error page may answer the first one.
    int size = GetWebFileSize(url.c_str(), service.https);
    LazyApi::DeleteUrlCacheEntryW(url.c_str());
    display.SetProgressRange(size);
    if (service.https && folder != nullptr)
        return URLDownloadToFileOnHttps(url.c_str(), folder, fileName, callback);
    if (service.https) return URLDownloadToFileOnHttps(url.c_str(), localPath.c_str(), callback);

    // The watch needs a callback to see the download move, with a bar or without.
    URLDownCallBack ownCallback;
    URLDownCallBack& watched = callback != nullptr ? *callback : ownCallback;
    watched.ForgetAnnouncedLength();
    HRESULT hr = MonikerDownload(scope, url, localPath, watched);
    // The moniker download reports a body cut short as finished; its own answer's length,
    // which the callback saw, tells.
    if (hr >= 0) {
        unsigned long long announced = watched.AnnouncedLength();
        unsigned long long onDisk = FileSizeOnDisk(localPath);
        if (onDisk < announced) {
            TraceMsg(scope, "Download incomplete___(%I64u of %I64u)", onDisk, announced);
            hr = kDownloadIncomplete;
        }
    }
    return hr;
}
